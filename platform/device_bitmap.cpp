#include "platform/device_bitmap.h"

#include "platform/global_memory.h"
#include "platform/handle_table.h"

namespace platform {

namespace {

detail::HandleTable<DeviceBitmap>& bitmaps() {
    static detail::HandleTable<DeviceBitmap> table;
    return table;
}

bool usableBitCount(uint16_t n) {
    return n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32;
}

}  // namespace

BitmapHandle createDIBitmap(const BitmapInfoHeader& header, std::span<const unsigned char> colours,
                            std::span<const unsigned char> bits) {
    if (header.biWidth <= 0 || header.biHeight == 0 || !usableBitCount(header.biBitCount))
        return BitmapHandle{};
    const uint64_t n = header.imageBytes();
    if (n == 0 || n > kMaxGlobalBytes || bits.size() < n || colours.size() > kMaxGlobalBytes)
        return BitmapHandle{};
    DeviceBitmap b;
    b.header = header;
    b.colours.assign(colours.begin(), colours.end());
    b.bits.assign(bits.begin(), bits.begin() + static_cast<ptrdiff_t>(n));
    return BitmapHandle{bitmaps().add(std::move(b))};
}

std::optional<DeviceBitmap> deviceBitmapContents(BitmapHandle handle) {
    return bitmaps().copy(static_cast<uintptr_t>(handle));
}

bool deleteObject(BitmapHandle handle) { return bitmaps().remove(static_cast<uintptr_t>(handle)); }

size_t deviceBitmapCount() { return bitmaps().count(); }

}  // namespace platform
