#include "fuzz/heap_meter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define QUILLET_HEAP_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLET_HEAP_HOOKS 1
#endif
#endif

namespace {

std::atomic<int64_t> inUse{0};
std::atomic<int64_t> peak{0};
std::atomic<int64_t> base{0};

void allocated(size_t bytes) {
    const int64_t now = inUse.fetch_add(static_cast<int64_t>(bytes)) + static_cast<int64_t>(bytes);
    int64_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void released(size_t bytes) { inUse.fetch_sub(static_cast<int64_t>(bytes)); }

}  // namespace

#ifdef QUILLET_HEAP_HOOKS

extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
int __sanitizer_get_ownership(const volatile void* p);
}

namespace {

void onMalloc(const volatile void*, size_t size) { allocated(size); }

// Called before the block is given back, so its size is still known.
void onFree(const volatile void* p) {
    if (p != nullptr && __sanitizer_get_ownership(p)) released(__sanitizer_get_allocated_size(p));
}

const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;

}  // namespace

#else

#include <malloc.h>

// Every C++ allocation of this binary comes through here. Blocks are counted at their usable
// size, which is what free gives back.
namespace {

void* take(size_t n) {
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    allocated(malloc_usable_size(p));
    return p;
}

void* takeAligned(size_t n, std::align_val_t alignment) {
    const size_t a = static_cast<size_t>(alignment);
    void* p = std::aligned_alloc(a, (n + a - 1) / a * a);
    if (p == nullptr) throw std::bad_alloc();
    allocated(malloc_usable_size(p));
    return p;
}

void give(void* p) noexcept {
    if (p == nullptr) return;
    released(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(size_t n) { return take(n); }
void* operator new[](size_t n) { return take(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return take(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    try {
        return take(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(size_t n, std::align_val_t a) { return takeAligned(n, a); }
void* operator new[](size_t n, std::align_val_t a) { return takeAligned(n, a); }
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, size_t) noexcept { give(p); }
void operator delete[](void* p, size_t) noexcept { give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { give(p); }
void operator delete(void* p, std::align_val_t) noexcept { give(p); }
void operator delete[](void* p, std::align_val_t) noexcept { give(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { give(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { give(p); }

#endif

namespace quillet::fuzz {

void HeapMeter::start() {
#ifdef QUILLET_HEAP_HOOKS
    if (!installed) std::abort();  // nothing would be measured
#endif
    const int64_t now = inUse.load();
    base.store(now);
    peak.store(now);
}

int64_t HeapMeter::peakGrowth() { return peak.load() - base.load(); }

int64_t HeapMeter::growth() { return inUse.load() - base.load(); }

}  // namespace quillet::fuzz
