#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "model/item.h"
#include "persist/config/option.h"

namespace cb {

// What names one item class: the clipboard format it stands for, its fixed typeId (also the
// key of its record option; its paste-exclusion option has key typeId + 1000), the name shown
// to the user, and the class itself.
class ItemType {
public:
    ItemType(ClipFormat format, int32_t typeId, std::u16string displayName, std::type_index classId)
        : format_(format), typeId_(typeId), displayName_(std::move(displayName)), classId_(classId) {}
    virtual ~ItemType() = default;
    ItemType(const ItemType&) = delete;
    ItemType& operator=(const ItemType&) = delete;

    // A new empty item of the class.
    virtual std::unique_ptr<Item> create() const = 0;

    ClipFormat format() const { return format_; }
    int32_t typeId() const { return typeId_; }
    const std::u16string& displayName() const { return displayName_; }
    std::type_index classId() const { return classId_; }

    int recordOptionKey() const { return typeId_; }
    int pasteExclusionKey() const { return typeId_ + 1000; }

private:
    ClipFormat format_;
    int32_t typeId_;
    std::u16string displayName_;
    std::type_index classId_;
};

template <class T>
class ItemTypeImpl final : public ItemType {
public:
    ItemTypeImpl(ClipFormat format, int32_t typeId, std::u16string displayName)
        : ItemType(format, typeId, std::move(displayName), typeid(T)) {}
    std::unique_ptr<Item> create() const override { return std::make_unique<T>(); }
};

// An ordered sequence of the item types. The types themselves live for the whole process;
// a registry only orders pointers to them.
class ItemTypeRegistry {
public:
    // Every item type, in the order the types are constructed at start: 1005, 1008, 1007, 1006,
    // 1009, 1004, 1000, 1012, 1011, 1010, 1002, 1003, 1001. The clipboard formats the program
    // registers are registered before the first type is made.
    static ItemTypeRegistry standard();

    size_t count() const { return types_.size(); }
    const ItemType& at(size_t index) const { return *types_.at(index); }
    auto begin() const { return types_.begin(); }
    auto end() const { return types_.end(); }

    // The first type in the current order whose format or class matches, or null.
    const ItemType* findTypeByFormat(ClipFormat format) const;
    const ItemType* findTypeByClass(std::type_index classId) const;

    // Orders the types by typeId, ascending.
    void sortTypesById();

private:
    explicit ItemTypeRegistry(std::vector<const ItemType*> types) : types_(std::move(types)) {}
    std::vector<const ItemType*> types_;
};

// The process-wide registry, used on the user-interface thread. It starts in construction
// order; the record viewer sorts it by typeId when it is first created.
ItemTypeRegistry& itemTypes();

const ItemType* findTypeByFormat(ClipFormat format);
const ItemType* findTypeByClass(std::type_index classId);
// The type of an item's run-time class.
const ItemType* findTypeOf(const Item& item);
void sortTypesById();

// The per-type options, read and written at the moment of the call. A format without a type
// is neither recorded nor pasted.
bool isRecorded(ClipFormat format, const cmn::option<int>& options);
// Pasted unless the paste-exclusion option holds true; an option never written means pasted.
bool isPasted(ClipFormat format, const cmn::option<int>& options);
void setRecorded(const ItemType& type, bool recorded, cmn::option<int>& options);
void setPasted(const ItemType& type, bool pasted, cmn::option<int>& options);

}  // namespace cb
