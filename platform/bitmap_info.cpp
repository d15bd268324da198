#include "platform/bitmap_info.h"

#include <cstdlib>

namespace platform {

namespace {

uint32_t get32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

BitmapInfoHeader BitmapInfoHeader::read(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    BitmapInfoHeader h;
    h.biSize = get32(p);
    h.biWidth = static_cast<int32_t>(get32(p + 4));
    h.biHeight = static_cast<int32_t>(get32(p + 8));
    h.biPlanes = get16(p + 12);
    h.biBitCount = get16(p + 14);
    h.biCompression = get32(p + 16);
    h.biSizeImage = get32(p + 20);
    h.biXPelsPerMeter = static_cast<int32_t>(get32(p + 24));
    h.biYPelsPerMeter = static_cast<int32_t>(get32(p + 28));
    h.biClrUsed = get32(p + 32);
    h.biClrImportant = get32(p + 36);
    return h;
}

void BitmapInfoHeader::write(void* at) const {
    auto* p = static_cast<unsigned char*>(at);
    put32(p, biSize);
    put32(p + 4, static_cast<uint32_t>(biWidth));
    put32(p + 8, static_cast<uint32_t>(biHeight));
    put16(p + 12, biPlanes);
    put16(p + 14, biBitCount);
    put32(p + 16, biCompression);
    put32(p + 20, biSizeImage);
    put32(p + 24, static_cast<uint32_t>(biXPelsPerMeter));
    put32(p + 28, static_cast<uint32_t>(biYPelsPerMeter));
    put32(p + 32, biClrUsed);
    put32(p + 36, biClrImportant);
}

uint64_t BitmapInfoHeader::stride() const {
    if (biWidth <= 0) return 0;
    return (uint64_t(biWidth) * biBitCount + 31) / 32 * 4;
}

uint64_t BitmapInfoHeader::imageBytes() const {
    if (biHeight == 0) return 0;
    return stride() * uint64_t(std::abs(int64_t{biHeight}));
}

}  // namespace platform
