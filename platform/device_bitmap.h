#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/bitmap_info.h"

namespace platform {

// A bitmap of the screen device, named by an opaque handle (the clipboard's CF_BITMAP medium).
// Our screen keeps what it was given: the header, the colour table (or the three masks of a
// BI_BITFIELDS image) and the rows of pixels, so the picture can be read back unchanged.
enum class BitmapHandle : uintptr_t {};

struct DeviceBitmap {
    BitmapInfoHeader header;
    std::vector<unsigned char> colours;
    std::vector<unsigned char> bits;
};

// Creates a device bitmap initialised from a device-independent one: the header, its colour
// table bytes and at least header.imageBytes() bytes of pixel rows (more are ignored). Null when
// the header describes no image (width or height not positive after taking the row order into
// account, a bit count other than 1, 4, 8, 16, 24, 32) or the rows are too short.
BitmapHandle createDIBitmap(const BitmapInfoHeader& header, std::span<const unsigned char> colours,
                            std::span<const unsigned char> bits);

// What the bitmap holds; nothing for an unknown handle.
std::optional<DeviceBitmap> deviceBitmapContents(BitmapHandle handle);

// False for an unknown handle.
bool deleteObject(BitmapHandle handle);

// Live device bitmaps, for tests that check nothing leaks.
size_t deviceBitmapCount();

}  // namespace platform
