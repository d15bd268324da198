#include "model/item.h"

#include <cstring>
#include <typeinfo>

namespace cb {

using namespace platform;

Item::~Item() = default;

bool Item::offers(const FormatEtc& request) const {
    std::vector<FormatPair> formats;
    appendFormats(formats);
    for (const FormatPair& pair : formats)
        if (pair.format == request.cfFormat && pair.tymed == request.tymed) return true;
    return false;
}

bool operator==(const Item& a, const Item& b) {
    if (&a == &b) return true;
    return typeid(a) == typeid(b) && a.sameData(b);
}

HResult Item::beginRender(const FormatEtc& request, StgMedium& medium) const {
    medium.pUnkForRelease = nullptr;
    medium.tymed = request.tymed;
    return offers(request) ? S_OK : DV_E_FORMATETC;
}

bool Item::request(IDataObject& source, ClipFormat format, uint32_t tymed, StgMedium& medium) {
    FormatEtc request;
    request.cfFormat = format;
    request.ptd = nullptr;
    request.dwAspect = DVASPECT_CONTENT;
    request.lindex = -1;
    request.tymed = tymed;
    return succeeded(source.getData(&request, &medium));
}

HResult Item::renderNewGlobal(const void* bytes, size_t n, StgMedium& medium) {
    const GlobalHandle h = globalAlloc(n);
    if (h == GlobalHandle{}) return E_OUTOFMEMORY;
    {
        GlobalLockGuard lock(h);
        if (!lock) {
            globalFree(h);
            return E_OUTOFMEMORY;
        }
        if (n > 0) std::memcpy(lock.get(), bytes, n);
    }
    medium.hGlobal = h;
    return S_OK;
}

HResult Item::renderIntoGlobal(const void* bytes, size_t n, StgMedium& medium, HResult tooSmall) {
    if (globalSize(medium.hGlobal) < n) return tooSmall;
    if (n == 0) return S_OK;
    GlobalLockGuard lock(medium.hGlobal);
    if (!lock) return tooSmall;
    std::memcpy(lock.get(), bytes, n);
    return S_OK;
}

}  // namespace cb
