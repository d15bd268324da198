#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Movable global memory: a block is named by an opaque handle and its bytes are reached only
// between lock and unlock. This is how clipboard data travels between programs, so every
// handle that arrives from elsewhere is looked up before it is believed: an unknown handle has
// size 0 and cannot be locked.
//
// All functions may be called from any thread.
enum class GlobalHandle : uintptr_t {};

// No block is larger than this: a size taken from untrusted data never makes us try more.
inline constexpr size_t kMaxGlobalBytes = size_t{1} << 30;

// A new movable block of exactly `bytes` bytes (0 is allowed), or the null handle when it
// cannot be had. Without zeroFill the bytes are whatever the memory held.
GlobalHandle globalAlloc(size_t bytes, bool zeroFill = false);

// Changes the size of an unlocked block, keeping its handle and the leading bytes; new bytes
// are zero. False for an unknown or locked block or when the memory cannot be had.
bool globalReAlloc(GlobalHandle handle, size_t bytes);

// The block's bytes and one more lock on it, or null for an unknown handle. A block of 0 bytes
// still locks to a non-null pointer, at which nothing is readable.
void* globalLock(GlobalHandle handle);

// Takes one lock away. True while the block stays locked; false once the last lock is gone, and
// for a block that was not locked at all.
bool globalUnlock(GlobalHandle handle);

// The block's size in bytes; 0 for an unknown handle.
size_t globalSize(GlobalHandle handle);

// Frees the block, locked or not. False for an unknown handle (nothing happens).
bool globalFree(GlobalHandle handle);

// Stand-ins for the "is this pointer bad" checks: true when the n bytes at p all lie inside
// one live, locked block. A range of 0 bytes is always readable.
bool isReadable(const void* p, size_t n);
// True when the wide string at p is readable up to its terminating NUL or up to maxChars
// characters, whichever comes first.
bool isReadableWideString(const char16_t* p, size_t maxChars);

// Live blocks, for tests that check nothing leaks.
size_t globalBlockCount();

// Test hook: the next n calls of globalAlloc fail. 0 switches it off.
void failNextGlobalAllocations(unsigned n);

// Holds one lock on a block for the lifetime of the guard, so that every way out of a scope
// unlocks exactly once.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(GlobalHandle handle) : handle_(handle), p_(globalLock(handle)) {}
    ~GlobalLockGuard() {
        if (p_) globalUnlock(handle_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    void* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    GlobalHandle handle_;
    void* p_;
};

}  // namespace platform
