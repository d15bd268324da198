#include "model/simple_item.h"

#include <limits>

namespace cb {

using namespace platform;

size_t SimpleItem::dataSize(GlobalHandle handle, const void*) const { return globalSize(handle); }

void SimpleItem::appendFormats(std::vector<FormatPair>& formats) const {
    formats.push_back({format(), TYMED_HGLOBAL});
}

HResult SimpleItem::getData(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    return renderNewGlobal(block_.data(), block_.size(), medium);
}

HResult SimpleItem::getDataHere(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    return renderIntoGlobal(block_.data(), block_.size(), medium, E_FAIL);
}

bool SimpleItem::readFrom(IDataObject& source) {
    ScopedMedium medium;
    if (!request(source, format(), TYMED_HGLOBAL, medium.get())) return false;
    if (medium->tymed != TYMED_HGLOBAL || medium->hGlobal == GlobalHandle{}) return false;
    GlobalLockGuard lock(medium->hGlobal);
    if (!lock) return false;
    const size_t n = dataSize(medium->hGlobal, lock.get());
    if (n > std::numeric_limits<uint32_t>::max() || !isReadable(lock.get(), n)) return false;
    block_.assign(static_cast<const char*>(lock.get()), static_cast<uint32_t>(n));
    return true;
}

bool SimpleItem::sameData(const Item& other) const {
    return block_ == static_cast<const SimpleItem&>(other).block_;
}

}  // namespace cb
