#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>

namespace persist {

// Every data file starts with a 32-bit magic number in little-endian byte order.
inline void writeMagic(std::ostream& out, uint32_t magic) {
    const char bytes[4] = {static_cast<char>(magic & 0xFF), static_cast<char>((magic >> 8) & 0xFF),
                           static_cast<char>((magic >> 16) & 0xFF),
                           static_cast<char>((magic >> 24) & 0xFF)};
    out.write(bytes, 4);
}

// The magic, or nothing when the file is shorter than 4 bytes.
inline std::optional<uint32_t> readMagic(std::istream& in) {
    unsigned char bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4)) return std::nullopt;
    return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
           (uint32_t(bytes[3]) << 24);
}

}  // namespace persist
