#pragma once

#include <cstdint>

namespace cmn::archive {

// Input is untrusted: every size read from an archive is checked against these before it is
// believed. Files and the network use different limits.
struct Limits {
    uint64_t maxStringBytes;
    uint64_t maxCollectionCount;
    uint64_t maxBinaryBytes;
    uint64_t maxObjects;  // tracked objects plus objects created through pointers

    // The user's own history and list files: generous, but bounded.
    static constexpr Limits forFiles() {
        return Limits{256u << 20, 16u << 20, 512u << 20, 32u << 20};
    }
    // Data from another computer.
    static constexpr Limits forNetwork() {
        return Limits{64u << 20, 1u << 20, 64u << 20, 4u << 20};
    }
};

}  // namespace cmn::archive
