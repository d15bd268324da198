#pragma once

#include <cstddef>
#include <memory>
#include <typeindex>
#include <vector>

#include "model/item.h"
#include "model/simple_unknown.h"
#include "persist/archive/error.h"
#include "platform/data_transfer.h"

namespace cb {

class ItemType;

// The ordered, owning container of a record's items, and at the same time the data object
// that offers them: the item order is the order in which formats are offered, and a request is
// rendered by the first item that offers the requested pair.
//
// Reference-counted as a data object: a new one holds one reference and the last release
// deletes it. Code that owns one outright (captures, records rebuilding their items) may hold
// it in a std::unique_ptr instead and never release it.
class DataObject final
    : public SimpleUnknownImpl<platform::IDataObject, platform::IID_IDataObject> {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    DataObject();
    ~DataObject() override;
    DataObject(const DataObject&) = delete;
    DataObject& operator=(const DataObject&) = delete;

    // ---- the container
    size_t count() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    Item* at(size_t index) const { return index < items_.size() ? items_[index].get() : nullptr; }
    const std::vector<std::unique_ptr<Item>>& items() const { return items_; }

    void add(std::unique_ptr<Item> item);
    // False (and the item is deleted) when the position lies beyond the end.
    bool insert(size_t index, std::unique_ptr<Item> item);
    // The item at the position, no longer owned here; null beyond the end.
    std::unique_ptr<Item> takeOut(size_t index);

    // The first item of the class, or null.
    Item* findFirstOf(std::type_index classId) const;
    Item* findFirstOf(const ItemType& type) const;
    template <class T>
    T* findFirst() const {
        return static_cast<T*>(findFirstOf(typeid(T)));
    }
    // Removes and deletes the first item of the type; false when there is none.
    bool removeFirstOf(const ItemType& type);

    // Every pair the items offer, item after item.
    void appendFormats(std::vector<FormatPair>& formats) const;
    std::vector<FormatPair> formats() const;
    // The first item that offers the requested pair, or null.
    Item* itemFor(const platform::FormatEtc& request) const;

    // ---- the data object
    HResult queryGetData(const platform::FormatEtc* request) override;
    HResult getData(const platform::FormatEtc* request, platform::StgMedium* medium) override;
    HResult getDataHere(const platform::FormatEtc* request, platform::StgMedium* medium) override;
    HResult enumFormatEtc(uint32_t direction, platform::IEnumFormatEtc** out) override;
    // out := in on no particular device, for the whole content; DATA_S_SAMEFORMATETC.
    HResult getCanonicalFormatEtc(const platform::FormatEtc* in,
                                  platform::FormatEtc* out) override;
    // We only ever give data: E_NOTIMPL; no advise connections: OLE_E_ADVISENOTSUPPORTED.
    HResult setData(const platform::FormatEtc* format, platform::StgMedium* medium,
                    bool release) override;
    HResult dAdvise(const platform::FormatEtc* format, uint32_t advf, platform::Unknown* sink,
                    uint32_t* connection) override;
    HResult dUnadvise(uint32_t connection) override;
    HResult enumDAdvise(platform::Unknown** out) override;

    // Stored as the item sequence, each item through a pointer to cb::Item.
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(items_);
        if constexpr (Archive::isLoading) {
            // Everything that offers, renders or pastes items assumes each one exists.
            for (const auto& item : items_)
                if (!item)
                    throw cmn::archive::ArchiveError(cmn::archive::ArchiveError::Kind::Inconsistent,
                                                     "a record holds a null item");
        }
    }

private:
    std::vector<std::unique_ptr<Item>> items_;
};

}  // namespace cb
