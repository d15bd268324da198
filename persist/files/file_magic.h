#pragma once

#include <cstdint>

namespace persist {

// The first 4 bytes of each data file (little-endian): what the file is and whether the archive
// text after them is plain or a zlib stream.
inline constexpr uint32_t kHistoryMagicPlain = 0x428DC531;
inline constexpr uint32_t kHistoryMagicCompressed = 0x428DC530;
inline constexpr uint32_t kListMagicPlain = 0xBF8B3081;
inline constexpr uint32_t kListMagicCompressed = 0xBF8B3080;
inline constexpr uint32_t kConfigMagic = 0x4DE7FFA0;  // always compressed

// The caps on their sizes are in persist/archive/limits.h (FileLimits).

}  // namespace persist
