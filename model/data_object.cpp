#include "model/data_object.h"

#include "model/enum_format_etc.h"
#include "model/item_type.h"

namespace cb {

using namespace platform;

DataObject::DataObject() = default;
DataObject::~DataObject() = default;

void DataObject::add(std::unique_ptr<Item> item) {
    if (item) items_.push_back(std::move(item));
}

bool DataObject::insert(size_t index, std::unique_ptr<Item> item) {
    if (!item || index > items_.size()) return false;
    items_.insert(items_.begin() + static_cast<ptrdiff_t>(index), std::move(item));
    return true;
}

std::unique_ptr<Item> DataObject::takeOut(size_t index) {
    if (index >= items_.size()) return nullptr;
    std::unique_ptr<Item> item = std::move(items_[index]);
    items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
    return item;
}

Item* DataObject::findFirstOf(std::type_index classId) const {
    for (const auto& item : items_)
        if (std::type_index(typeid(*item)) == classId) return item.get();
    return nullptr;
}

Item* DataObject::findFirstOf(const ItemType& type) const { return findFirstOf(type.classId()); }

bool DataObject::removeFirstOf(const ItemType& type) {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (std::type_index(typeid(*items_[i])) == type.classId()) {
            items_.erase(items_.begin() + static_cast<ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

void DataObject::appendFormats(std::vector<FormatPair>& formats) const {
    for (const auto& item : items_) item->appendFormats(formats);
}

std::vector<FormatPair> DataObject::formats() const {
    std::vector<FormatPair> formats;
    appendFormats(formats);
    return formats;
}

Item* DataObject::itemFor(const FormatEtc& request) const {
    for (const auto& item : items_)
        if (item->offers(request)) return item.get();
    return nullptr;
}

HResult DataObject::queryGetData(const FormatEtc* request) {
    if (request == nullptr) return E_INVALIDARG;
    return itemFor(*request) ? S_OK : DV_E_FORMATETC;
}

HResult DataObject::getData(const FormatEtc* request, StgMedium* medium) {
    if (request == nullptr || medium == nullptr) return E_INVALIDARG;
    Item* item = itemFor(*request);
    return item ? item->getData(*request, *medium) : DV_E_FORMATETC;
}

HResult DataObject::getDataHere(const FormatEtc* request, StgMedium* medium) {
    if (request == nullptr || medium == nullptr) return E_INVALIDARG;
    Item* item = itemFor(*request);
    return item ? item->getDataHere(*request, *medium) : DV_E_FORMATETC;
}

HResult DataObject::enumFormatEtc(uint32_t direction, IEnumFormatEtc** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    *out = EnumFormatEtc::create(*this);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HResult DataObject::getCanonicalFormatEtc(const FormatEtc* in, FormatEtc* out) {
    // A null request is refused too: there is nothing to copy from.
    if (out == nullptr || in == nullptr) return E_INVALIDARG;
    *out = *in;
    out->ptd = nullptr;
    out->lindex = -1;
    out->dwAspect = DVASPECT_CONTENT;
    return DATA_S_SAMEFORMATETC;
}

HResult DataObject::setData(const FormatEtc*, StgMedium*, bool) { return E_NOTIMPL; }

HResult DataObject::dAdvise(const FormatEtc*, uint32_t, Unknown*, uint32_t*) {
    return OLE_E_ADVISENOTSUPPORTED;
}

HResult DataObject::dUnadvise(uint32_t) { return E_NOTIMPL; }

HResult DataObject::enumDAdvise(Unknown** out) {
    if (out) *out = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace cb
