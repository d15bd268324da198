#pragma once

// The heap a piece of work really uses, measured by this binary's own allocation hooks: the
// sanitizer's malloc and free hooks under AddressSanitizer (every allocation, zlib's included),
// replaced operator new and delete otherwise (every C++ allocation). Every thread counts.

#include <cstdint>

namespace quillet::fuzz {

class HeapMeter {
public:
    // Starts measuring the peak from the heap in use now.
    static void start();
    // The most the heap in use grew above its level at start(), in bytes.
    static int64_t peakGrowth();
    // The heap in use now minus at start() (negative when earlier blocks were freed).
    static int64_t growth();
};

}  // namespace quillet::fuzz
