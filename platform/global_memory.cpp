#include "platform/global_memory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace platform {

namespace {

struct Block {
    // At least one byte, so that even an empty block has an address to hand out.
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
    unsigned locks = 0;
};

class GlobalHeap {
public:
    GlobalHandle alloc(size_t n, bool zeroFill) {
        if (n > kMaxGlobalBytes) return GlobalHandle{};
        std::lock_guard lock(mutex_);
        if (failures_ > 0) {
            --failures_;
            return GlobalHandle{};
        }
        Block block;
        block.bytes = allocate(n, zeroFill);
        if (!block.bytes) return GlobalHandle{};
        block.size = n;
        const uintptr_t id = nextId();
        blocks_.emplace(id, std::move(block));
        return GlobalHandle{id};
    }

    bool reAlloc(GlobalHandle h, size_t n) {
        if (n > kMaxGlobalBytes) return false;
        std::lock_guard lock(mutex_);
        Block* b = find(h);
        if (!b || b->locks > 0) return false;
        auto fresh = allocate(n, true);
        if (!fresh) return false;
        std::memcpy(fresh.get(), b->bytes.get(), std::min(n, b->size));
        b->bytes = std::move(fresh);
        b->size = n;
        return true;
    }

    void* lock(GlobalHandle h) {
        std::lock_guard lock(mutex_);
        Block* b = find(h);
        if (!b) return nullptr;
        ++b->locks;
        return b->bytes.get();
    }

    bool unlock(GlobalHandle h) {
        std::lock_guard lock(mutex_);
        Block* b = find(h);
        if (!b || b->locks == 0) return false;
        return --b->locks > 0;
    }

    size_t size(GlobalHandle h) {
        std::lock_guard lock(mutex_);
        Block* b = find(h);
        return b ? b->size : 0;
    }

    bool free(GlobalHandle h) {
        std::lock_guard lock(mutex_);
        return blocks_.erase(static_cast<uintptr_t>(h)) != 0;
    }

    bool readable(const void* p, size_t n) {
        if (n == 0) return true;
        std::lock_guard lock(mutex_);
        return lockedBlockAt(p, n) != nullptr;
    }

    bool readableWide(const char16_t* p, size_t maxChars) {
        if (maxChars == 0) return true;
        std::lock_guard lock(mutex_);
        const Block* b = lockedBlockAt(p, sizeof(char16_t));
        if (!b) return false;
        const uintptr_t start = reinterpret_cast<uintptr_t>(p);
        const uintptr_t base = reinterpret_cast<uintptr_t>(b->bytes.get());
        const size_t available = (b->size - (start - base)) / sizeof(char16_t);
        const unsigned char* at = b->bytes.get() + (start - base);
        for (size_t i = 0; i < maxChars; ++i) {
            if (i >= available) return false;
            char16_t c;
            std::memcpy(&c, at + i * sizeof(char16_t), sizeof c);
            if (c == 0) return true;
        }
        return true;
    }

    size_t count() {
        std::lock_guard lock(mutex_);
        return blocks_.size();
    }

    void failNext(unsigned n) {
        std::lock_guard lock(mutex_);
        failures_ = n;
    }

private:
    static std::unique_ptr<unsigned char[]> allocate(size_t n, bool zeroFill) {
        const size_t real = n == 0 ? 1 : n;
        std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[real]);
        if (bytes && zeroFill) std::memset(bytes.get(), 0, real);
        return bytes;
    }

    uintptr_t nextId() {
        // Handles are never reused while the process lives, so a stale handle stays unknown.
        return next_ += 4;
    }

    Block* find(GlobalHandle h) {
        auto it = blocks_.find(static_cast<uintptr_t>(h));
        return it == blocks_.end() ? nullptr : &it->second;
    }

    const Block* lockedBlockAt(const void* p, size_t n) const {
        if (!p) return nullptr;
        const uintptr_t start = reinterpret_cast<uintptr_t>(p);
        for (const auto& [id, b] : blocks_) {
            if (b.locks == 0) continue;
            const uintptr_t base = reinterpret_cast<uintptr_t>(b.bytes.get());
            if (start >= base && start - base <= b.size && n <= b.size - (start - base))
                return &b;
        }
        return nullptr;
    }

    std::mutex mutex_;
    std::unordered_map<uintptr_t, Block> blocks_;
    uintptr_t next_ = 0x10000;
    unsigned failures_ = 0;
};

GlobalHeap& heap() {
    static GlobalHeap instance;
    return instance;
}

}  // namespace

GlobalHandle globalAlloc(size_t bytes, bool zeroFill) { return heap().alloc(bytes, zeroFill); }
bool globalReAlloc(GlobalHandle handle, size_t bytes) { return heap().reAlloc(handle, bytes); }
void* globalLock(GlobalHandle handle) { return heap().lock(handle); }
bool globalUnlock(GlobalHandle handle) { return heap().unlock(handle); }
size_t globalSize(GlobalHandle handle) { return heap().size(handle); }
bool globalFree(GlobalHandle handle) { return heap().free(handle); }
bool isReadable(const void* p, size_t n) { return heap().readable(p, n); }
bool isReadableWideString(const char16_t* p, size_t maxChars) {
    return heap().readableWide(p, maxChars);
}
size_t globalBlockCount() { return heap().count(); }
void failNextGlobalAllocations(unsigned n) { heap().failNext(n); }

}  // namespace platform
