#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_BITFIELDS = 3;

// The 40-byte header that starts a packed device-independent bitmap, fields little-endian in
// this order. Plain values: whoever reads one from foreign data checks them before use.
struct BitmapInfoHeader {
    static constexpr size_t kBytes = 40;

    uint32_t biSize = kBytes;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // negative for rows stored top-down
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = BI_RGB;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;

    // Reads the 40 bytes at p.
    static BitmapInfoHeader read(const void* p);
    // Writes the 40 bytes at p.
    void write(void* p) const;

    // Bytes of one row of pixels: rows are padded to whole 32-bit words.
    uint64_t stride() const;
    // Bytes of all rows; 0 when the header does not describe a usable image.
    uint64_t imageBytes() const;

    bool operator==(const BitmapInfoHeader&) const = default;
};

}  // namespace platform
