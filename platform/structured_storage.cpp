#include "platform/structured_storage.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

constexpr unsigned char kSignature[8] = {'Q', 'S', 'T', 'G', 1, 0, 0, 0};
constexpr size_t kMaxNameBytes = 1024;
// The block behind lock bytes grows in steps of this many bytes.
constexpr uint64_t kGrowStep = 4096;

constexpr uint32_t kKnownModeBits = STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE;

void put32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Reads the image in bytes; false when they are not one.
bool parseImage(std::span<const unsigned char> bytes,
                std::map<std::string, std::vector<unsigned char>, std::less<>>& streams) {
    size_t at = 0;
    auto take32 = [&](uint32_t& v) {
        if (bytes.size() - at < 4) return false;
        v = uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
            uint32_t{bytes[at + 3]} << 24;
        at += 4;
        return true;
    };
    if (bytes.size() < sizeof kSignature ||
        std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0)
        return false;
    at = sizeof kSignature;
    uint32_t count = 0;
    if (!take32(count)) return false;
    streams.clear();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameBytes = 0;
        if (!take32(nameBytes) || nameBytes == 0 || nameBytes > kMaxNameBytes ||
            bytes.size() - at < nameBytes)
            return false;
        std::string name(reinterpret_cast<const char*>(bytes.data() + at), nameBytes);
        at += nameBytes;
        uint32_t dataBytes = 0;
        if (!take32(dataBytes) || bytes.size() - at < dataBytes) return false;
        if (!streams.empty() && name <= streams.rbegin()->first) return false;
        streams.emplace_hint(streams.end(), std::move(name),
                             std::vector<unsigned char>(bytes.begin() + static_cast<ptrdiff_t>(at),
                                                        bytes.begin() +
                                                            static_cast<ptrdiff_t>(at + dataBytes)));
        at += dataBytes;
    }
    return true;
}

}  // namespace

// ---- lock bytes

HResult createLockBytesOnGlobal(GlobalHandle global, bool deleteOnRelease, LockBytes** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    uint64_t size = 0;
    if (global == GlobalHandle{}) {
        global = globalAlloc(0);
        if (global == GlobalHandle{}) return E_OUTOFMEMORY;
    } else {
        if (globalLock(global) == nullptr) return E_INVALIDARG;
        globalUnlock(global);
        size = globalSize(global);
    }
    *out = new LockBytes(global, size, deleteOnRelease);
    return S_OK;
}

HResult getGlobalFromLockBytes(LockBytes* lockBytes, GlobalHandle* out) {
    if (lockBytes == nullptr || out == nullptr) return E_INVALIDARG;
    *out = lockBytes->global();
    return S_OK;
}

LockBytes::~LockBytes() {
    if (deleteOnRelease_) globalFree(global_);
}

HResult LockBytes::readAt(uint64_t offset, void* buffer, uint32_t n, uint32_t* read) {
    if (read) *read = 0;
    if (buffer == nullptr && n > 0) return STG_E_INVALIDPOINTER;
    if (offset >= size_ || n == 0) return S_OK;
    const uint64_t count = std::min<uint64_t>(n, size_ - offset);
    GlobalLockGuard lock(global_);
    if (!lock) return E_FAIL;
    std::memcpy(buffer, static_cast<const unsigned char*>(lock.get()) + offset, count);
    if (read) *read = static_cast<uint32_t>(count);
    return S_OK;
}

HResult LockBytes::writeAt(uint64_t offset, const void* bytes, uint32_t n, uint32_t* written) {
    if (written) *written = 0;
    if (bytes == nullptr && n > 0) return STG_E_INVALIDPOINTER;
    if (n == 0) return S_OK;
    if (offset > kMaxGlobalBytes || n > kMaxGlobalBytes - offset) return STG_E_MEDIUMFULL;
    const uint64_t end = offset + n;
    if (end > size_) {
        const HResult hr = setSize(end);
        if (failed(hr)) return hr;
    }
    GlobalLockGuard lock(global_);
    if (!lock) return E_FAIL;
    std::memcpy(static_cast<unsigned char*>(lock.get()) + offset, bytes, n);
    if (written) *written = n;
    return S_OK;
}

HResult LockBytes::setSize(uint64_t size) {
    if (size > kMaxGlobalBytes) return STG_E_MEDIUMFULL;
    const uint64_t have = globalSize(global_);
    if (size > have) {
        const uint64_t grown = std::min<uint64_t>((size + kGrowStep - 1) / kGrowStep * kGrowStep,
                                                  kMaxGlobalBytes);
        if (!globalReAlloc(global_, grown)) return STG_E_MEDIUMFULL;
    } else if (size > size_) {
        // Bytes that come into use again read as zero, as freshly grown ones do.
        GlobalLockGuard lock(global_);
        if (!lock) return E_FAIL;
        std::memset(static_cast<unsigned char*>(lock.get()) + size_, 0, size - size_);
    }
    size_ = size;
    return S_OK;
}

HResult LockBytes::stat(StatStg* out, uint32_t) {
    if (out == nullptr) return STG_E_INVALIDPOINTER;
    out->cbSize = size_;
    return S_OK;
}

// ---- storage

Storage::Storage(LockBytes* lockBytes, bool writable) : lockBytes_(lockBytes), writable_(writable) {
    if (lockBytes_) lockBytes_->addRef();
}

Storage::~Storage() {
    if (lockBytes_) lockBytes_->release();
}

HResult Storage::createInMemory(Storage** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = new Storage(nullptr, true);
    return S_OK;
}

HResult Storage::store() {
    if (lockBytes_ == nullptr) return S_OK;
    std::vector<unsigned char> image(std::begin(kSignature), std::end(kSignature));
    put32(image, static_cast<uint32_t>(streams_.size()));
    for (const auto& [name, data] : streams_) {
        put32(image, static_cast<uint32_t>(name.size()));
        image.insert(image.end(), name.begin(), name.end());
        put32(image, static_cast<uint32_t>(data.size()));
        image.insert(image.end(), data.begin(), data.end());
    }
    if (image.size() > kMaxGlobalBytes) return STG_E_MEDIUMFULL;
    HResult hr = lockBytes_->setSize(image.size());
    if (succeeded(hr))
        hr = lockBytes_->writeAt(0, image.data(), static_cast<uint32_t>(image.size()), nullptr);
    return hr;
}

HResult Storage::writeStream(std::string_view name, std::span<const unsigned char> bytes) {
    if (!writable_) return STG_E_ACCESSDENIED;
    if (name.empty() || name.size() > kMaxNameBytes || bytes.size() > kMaxGlobalBytes)
        return E_INVALIDARG;
    auto previous = streams_;
    streams_[std::string(name)].assign(bytes.begin(), bytes.end());
    const HResult hr = store();
    if (failed(hr)) streams_ = std::move(previous);
    return hr;
}

HResult Storage::readStream(std::string_view name, std::vector<unsigned char>& out) const {
    auto it = streams_.find(name);
    if (it == streams_.end()) return STG_E_FILENOTFOUND;
    out = it->second;
    return S_OK;
}

std::vector<std::string> Storage::streamNames() const {
    std::vector<std::string> names;
    for (const auto& entry : streams_) names.push_back(entry.first);
    return names;
}

HResult Storage::commit(uint32_t) {
    if (!writable_) return S_OK;
    const HResult hr = store();
    if (failed(hr)) return hr;
    return lockBytes_ ? lockBytes_->flush() : S_OK;
}

HResult Storage::copyTo(Storage* dest) const {
    if (dest == nullptr) return STG_E_INVALIDPOINTER;
    if (dest == this) return S_OK;
    if (!dest->writable_) return STG_E_ACCESSDENIED;
    auto previous = dest->streams_;
    for (const auto& [name, data] : streams_) dest->streams_[name] = data;
    const HResult hr = dest->store();
    if (failed(hr)) dest->streams_ = std::move(previous);
    return hr;
}

HResult stgCreateDocfileOnLockBytes(LockBytes* lockBytes, uint32_t mode, Storage** out) {
    if (out == nullptr) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (lockBytes == nullptr) return STG_E_INVALIDPOINTER;
    if ((mode & ~kKnownModeBits) != 0 || (mode & STGM_READWRITE) == 0) return STG_E_INVALIDFLAG;
    StatStg stat;
    lockBytes->stat(&stat, STATFLAG_NONAME);
    if ((mode & STGM_CREATE) == 0 && stat.cbSize != 0) return STG_E_FILEALREADYEXISTS;
    Ref<Storage> storage(new Storage(lockBytes, true));
    const HResult hr = storage->store();
    if (failed(hr)) return hr;
    *out = storage.detach();
    return S_OK;
}

HResult stgOpenStorageOnLockBytes(LockBytes* lockBytes, uint32_t mode, Storage** out) {
    if (out == nullptr) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (lockBytes == nullptr) return STG_E_INVALIDPOINTER;
    if ((mode & ~kKnownModeBits) != 0 || (mode & STGM_CREATE) != 0) return STG_E_INVALIDFLAG;
    StatStg stat;
    lockBytes->stat(&stat, STATFLAG_NONAME);
    if (stat.cbSize > kMaxGlobalBytes) return STG_E_INVALIDHEADER;
    std::vector<unsigned char> bytes(static_cast<size_t>(stat.cbSize));
    uint32_t read = 0;
    HResult hr = lockBytes->readAt(0, bytes.data(), static_cast<uint32_t>(bytes.size()), &read);
    if (failed(hr)) return hr;
    if (read != bytes.size()) return STG_E_INVALIDHEADER;
    Ref<Storage> storage(new Storage(lockBytes, (mode & STGM_READWRITE) != 0));
    if (!parseImage(bytes, storage->streams_)) return STG_E_INVALIDHEADER;
    *out = storage.detach();
    return S_OK;
}

}  // namespace platform
