#pragma once

#include <memory>
#include <typeindex>
#include <vector>

class QWidget;

namespace cb {
class Item;
}

// A read-only view of one item of a record. A view copies what it shows when it is given the
// item, so it never refers to an item after setItem returns.
class ItemView {
public:
    virtual ~ItemView() = default;
    // Shows the item (of the view's item class); null clears the view.
    virtual void setItem(const cb::Item* item) = 0;
    virtual QWidget* viewWindow() const = 0;
};

// Binds a view class to its item class, so that the view receives the item as its own class.
template <class ItemClass>
class ItemViewBase : public ItemView {
public:
    void setItem(const cb::Item* item) final { show(static_cast<const ItemClass*>(item)); }

protected:
    virtual void show(const ItemClass* item) = 0;
};

// An entry of the view registry: one view class for one item class.
class ItemViewType {
public:
    virtual ~ItemViewType() = default;
    virtual std::type_index itemClass() const = 0;
    // A new view whose window is a child of parent (hidden).
    virtual std::unique_ptr<ItemView> createView(QWidget* parent) const = 0;
};

template <class View, class ItemClass>
class ItemViewTypeImpl final : public ItemViewType {
public:
    std::type_index itemClass() const override { return typeid(ItemClass); }
    std::unique_ptr<ItemView> createView(QWidget* parent) const override {
        return std::make_unique<View>(parent);
    }
};

// The views of the program: plain text, rich text and pictures, in the order of their item
// types' ids.
std::vector<const ItemViewType*> itemViewTypes();
