// The bitmap info header: its 40 little-endian bytes and its row arithmetic.

#include <gtest/gtest.h>

#include "platform/bitmap_info.h"

namespace {

using platform::BitmapInfoHeader;

TEST(BitmapInfoHeader, FortyLittleEndianBytesInFieldOrder) {
    const unsigned char bytes[40] = {
        0x28, 0, 0, 0,                // biSize 40
        0x03, 0, 0, 0,                // biWidth 3
        0xFE, 0xFF, 0xFF, 0xFF,       // biHeight -2
        0x01, 0,                      // biPlanes 1
        0x18, 0,                      // biBitCount 24
        0x03, 0, 0, 0,                // biCompression BI_BITFIELDS
        0x10, 0x20, 0, 0,             // biSizeImage 0x2010
        0x13, 0x0B, 0, 0,             // biXPelsPerMeter 2835
        0x14, 0x0B, 0, 0,             // biYPelsPerMeter 2836
        0x00, 0x01, 0, 0,             // biClrUsed 256
        0x01, 0x00, 0x00, 0x80,       // biClrImportant 0x80000001
    };
    const BitmapInfoHeader h = BitmapInfoHeader::read(bytes);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, -2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, platform::BI_BITFIELDS);
    EXPECT_EQ(h.biSizeImage, 0x2010u);
    EXPECT_EQ(h.biXPelsPerMeter, 2835);
    EXPECT_EQ(h.biYPelsPerMeter, 2836);
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(h.biClrImportant, 0x80000001u);

    unsigned char out[40] = {};
    h.write(out);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 40), std::vector<unsigned char>(bytes, bytes + 40));
}

TEST(BitmapInfoHeader, RowsArePaddedToWholeWords) {
    struct Case {
        int32_t width, height;
        uint16_t bits;
        uint64_t stride, image;
    };
    const Case cases[] = {
        {3, 2, 24, 12, 24}, {1, 1, 1, 4, 4}, {33, 1, 1, 8, 8}, {5, -3, 8, 8, 24},
        {3, 1, 16, 8, 8},   {2, 2, 32, 8, 16}, {0, 5, 24, 0, 0}, {4, 0, 24, 12, 0},
        {-4, 2, 24, 0, 0},
    };
    for (const Case& c : cases) {
        BitmapInfoHeader h;
        h.biWidth = c.width;
        h.biHeight = c.height;
        h.biBitCount = c.bits;
        EXPECT_EQ(h.stride(), c.stride) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(h.imageBytes(), c.image) << c.width << "x" << c.height << "x" << c.bits;
    }
}

}  // namespace
