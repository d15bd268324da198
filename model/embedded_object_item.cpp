#include "model/embedded_object_item.h"

#include <cstring>
#include <limits>

#include "platform/clipboard_formats.h"
#include "platform/global_memory.h"
#include "platform/ole_object.h"
#include "platform/structured_storage.h"

namespace cb {

using namespace platform;

namespace {

constexpr uint32_t kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr uint32_t kOpenMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

// Opens the storage whose docfile bytes are given, on a new global block that the storage's
// lock bytes free when the last reference goes.
HResult openStorage(const cmn::mblock<char>& block, Storage** out) {
    *out = nullptr;
    const GlobalHandle h = globalAlloc(block.size());
    if (h == GlobalHandle{}) return E_OUTOFMEMORY;
    {
        GlobalLockGuard lock(h);
        if (!lock) {
            globalFree(h);
            return E_OUTOFMEMORY;
        }
        if (block.size() > 0) std::memcpy(lock.get(), block.data(), block.size());
    }
    Ref<LockBytes> lockBytes;
    HResult hr = createLockBytesOnGlobal(h, true, lockBytes.out());
    if (failed(hr)) {
        globalFree(h);
        return hr;
    }
    // From here the lock bytes own the block.
    return stgOpenStorageOnLockBytes(lockBytes.get(), kOpenMode, out);
}

}  // namespace

void EmbeddedObjectItem::appendFormats(std::vector<FormatPair>& formats) const {
    formats.push_back({registeredFormats().embeddedObject, TYMED_ISTORAGE});
}

HResult EmbeddedObjectItem::getData(const FormatEtc& request, StgMedium& medium) const {
    HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    Storage* storage = nullptr;
    hr = openStorage(block_, &storage);
    if (failed(hr)) return hr;
    medium.pstg = storage;
    return S_OK;
}

HResult EmbeddedObjectItem::getDataHere(const FormatEtc& request, StgMedium& medium) const {
    HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    Ref<Storage> storage;
    hr = openStorage(block_, storage.out());
    if (failed(hr)) return hr;
    return storage->copyTo(medium.pstg);
}

bool EmbeddedObjectItem::readFrom(IDataObject& source) {
    Ref<LockBytes> lockBytes;
    if (failed(createLockBytesOnGlobal(GlobalHandle{}, true, lockBytes.out()))) return false;
    Ref<Storage> storage;
    if (failed(stgCreateDocfileOnLockBytes(lockBytes.get(), kCreateMode, storage.out())))
        return false;
    Ref<Unknown> object;
    if (failed(oleCreateFromData(&source, storage.get(), object.out()))) return false;
    if (failed(storage->commit(0)) || failed(lockBytes->flush())) return false;
    StatStg stat;
    if (failed(lockBytes->stat(&stat, STATFLAG_NONAME))) return false;
    if (stat.cbSize > std::numeric_limits<uint32_t>::max()) return false;
    GlobalHandle h{};
    if (failed(getGlobalFromLockBytes(lockBytes.get(), &h))) return false;
    const auto n = static_cast<uint32_t>(stat.cbSize);
    if (globalSize(h) < n) return false;
    GlobalLockGuard lock(h);
    if (!lock) return false;
    block_.assign(static_cast<const char*>(lock.get()), n);
    return true;
}

bool EmbeddedObjectItem::sameData(const Item& other) const {
    return block_ == static_cast<const EmbeddedObjectItem&>(other).block_;
}

}  // namespace cb
