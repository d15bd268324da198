#pragma once

// A small structured-storage stand-in: byte arrays over global memory ("lock bytes") and
// storages of named streams kept in them as a docfile image. It carries embedded objects
// between the clipboard and our records; nothing else reads the image.
//
// The docfile image (our own, not the desktop's compound file), all numbers little-endian:
//   8 bytes   signature "QSTG" followed by version 1 as a 32-bit number
//   4 bytes   number of streams
//   per stream, in ascending order of their names (bytewise):
//     4 bytes name length n, n bytes of name (UTF-8, 1..1024 bytes)
//     4 bytes data length m, m bytes of data
// The image always describes the whole storage; bytes after it in the lock bytes are ignored.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_transfer.h"

namespace platform {

inline constexpr HResult STG_E_FILENOTFOUND = detail::hresult(0x80030002);
inline constexpr HResult STG_E_ACCESSDENIED = detail::hresult(0x80030005);
inline constexpr HResult STG_E_INVALIDPOINTER = detail::hresult(0x80030009);
inline constexpr HResult STG_E_FILEALREADYEXISTS = detail::hresult(0x80030050);
inline constexpr HResult STG_E_MEDIUMFULL = detail::hresult(0x80030070);
inline constexpr HResult STG_E_INVALIDHEADER = detail::hresult(0x800300FB);
inline constexpr HResult STG_E_INVALIDFLAG = detail::hresult(0x800300FF);

inline constexpr uint32_t STGM_READ = 0x0;
inline constexpr uint32_t STGM_READWRITE = 0x2;
inline constexpr uint32_t STGM_SHARE_EXCLUSIVE = 0x10;
inline constexpr uint32_t STGM_CREATE = 0x1000;

inline constexpr uint32_t STATFLAG_NONAME = 1;

struct StatStg {
    uint64_t cbSize = 0;
};

// A byte stream medium. Nothing in this program renders one; it exists so that a medium can
// carry one from a foreign data object and releasing the medium releases it.
class Stream : public Unknown {
public:
    virtual HResult read(void* buffer, uint32_t n, uint32_t* read) = 0;
    virtual HResult write(const void* bytes, uint32_t n, uint32_t* written) = 0;
};

// A byte array kept in a global block. Its size is tracked apart from the block's: the block
// grows in steps and may be larger than the bytes written, so callers ask stat() for the size.
class LockBytes final : public RefCounted<Unknown> {
public:
    HResult readAt(uint64_t offset, void* buffer, uint32_t n, uint32_t* read);
    HResult writeAt(uint64_t offset, const void* bytes, uint32_t n, uint32_t* written);
    HResult setSize(uint64_t size);
    HResult flush() { return S_OK; }
    HResult stat(StatStg* out, uint32_t flags);

    GlobalHandle global() const { return global_; }

private:
    friend HResult createLockBytesOnGlobal(GlobalHandle, bool, LockBytes**);
    LockBytes(GlobalHandle global, uint64_t size, bool deleteOnRelease)
        : global_(global), size_(size), deleteOnRelease_(deleteOnRelease) {}
    ~LockBytes() override;

    GlobalHandle global_;
    uint64_t size_;
    bool deleteOnRelease_;
};

// Lock bytes on the given block (its whole size counts as written), or on a new empty block
// when the handle is null. With deleteOnRelease the block is freed with the last reference.
HResult createLockBytesOnGlobal(GlobalHandle global, bool deleteOnRelease, LockBytes** out);

// The block behind the lock bytes; still owned by them.
HResult getGlobalFromLockBytes(LockBytes* lockBytes, GlobalHandle* out);

// A storage of named streams. A storage on lock bytes writes its image to them at every change
// (as a storage opened without transactions does), and again on commit.
class Storage final : public RefCounted<Unknown> {
public:
    // Creates or replaces the stream `name` with the given bytes.
    HResult writeStream(std::string_view name, std::span<const unsigned char> bytes);
    HResult readStream(std::string_view name, std::vector<unsigned char>& out) const;
    std::vector<std::string> streamNames() const;

    HResult commit(uint32_t flags);
    // Copies every stream into dest, replacing streams of the same name there.
    HResult copyTo(Storage* dest) const;

    // A storage in memory only, for data objects that build one themselves.
    static HResult createInMemory(Storage** out);

private:
    friend HResult stgCreateDocfileOnLockBytes(LockBytes*, uint32_t, Storage**);
    friend HResult stgOpenStorageOnLockBytes(LockBytes*, uint32_t, Storage**);
    Storage(LockBytes* lockBytes, bool writable);
    ~Storage() override;
    HResult store();

    LockBytes* lockBytes_;  // one reference held, or null
    bool writable_;
    std::map<std::string, std::vector<unsigned char>, std::less<>> streams_;
};

// A new empty storage on the lock bytes. Without STGM_CREATE the lock bytes must be empty.
HResult stgCreateDocfileOnLockBytes(LockBytes* lockBytes, uint32_t mode, Storage** out);

// The storage whose image the lock bytes hold. STG_E_INVALIDHEADER for bytes that are not one.
HResult stgOpenStorageOnLockBytes(LockBytes* lockBytes, uint32_t mode, Storage** out);

}  // namespace platform
