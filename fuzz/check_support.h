#pragma once

// What the checks share: limits small enough for fuzz inputs to reach, the heap bound they imply,
// and byte helpers.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "fuzz/heap_meter.h"
#include "persist/archive/limits.h"
#include "persist/archive/zlib_stream.h"

namespace quillet::fuzz {

using cmn::archive::kKiB;
using cmn::archive::kMiB;

// Scaled-down reader limits: an input of a few kilobytes (a compressed one in particular) can
// run into each of them, so the fuzzer explores the refusals and the heap bound below is tight
// enough to mean something.
inline constexpr cmn::archive::Limits kSmallLimits{64 * kKiB, 4096, 64 * kKiB, 4096, 2 * kMiB};

inline constexpr cmn::archive::FileLimits kSmallFileLimits{
    1 * kMiB, cmn::archive::InflateLimits{1 * kMiB, 128 * kKiB, 100}, kSmallLimits};

// Streams, zlib's state and buffers, the reader's class tables: what a load costs whatever the
// data holds.
inline constexpr int64_t kFixedCostBytes = 2 * kMiB;

// A reader keeps the real heap within 3 times of what it counts as built (limits.h).
inline int64_t heapBound(const cmn::archive::Limits& limits, uint64_t alsoHeld = 0) {
    return static_cast<int64_t>(3 * limits.maxBuiltBytes + alsoHeld) + kFixedCostBytes;
}

// Throws Violation when the heap grew beyond the bound since HeapMeter::start().
inline void checkHeap(const char* what, int64_t bound) {
    const int64_t grown = HeapMeter::peakGrowth();
    if (grown > bound)
        throw Violation{std::string(what) + ": the heap grew by " + std::to_string(grown) +
                        " bytes, more than the limits allow (" + std::to_string(bound) + ")"};
}

[[noreturn]] inline void violation(std::string what) { throw Violation{std::move(what)}; }

inline std::string compressed(std::string_view text) {
    std::vector<char> out;
    cmn::archive::writeCompressed(out, [&](std::ostream& s) {
        s.write(text.data(), static_cast<std::streamsize>(text.size()));
    });
    return std::string(out.begin(), out.end());
}

inline std::string magicBytes(uint32_t magic) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((magic >> (8 * i)) & 0xFF);
    return out;
}

}  // namespace quillet::fuzz
