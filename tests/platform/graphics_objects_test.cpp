// Device bitmaps and enhanced metafiles as opaque handles.

#include <gtest/gtest.h>

#include "platform/device_bitmap.h"
#include "platform/enh_metafile.h"

namespace {

using namespace platform;

BitmapInfoHeader header(int32_t width, int32_t height, uint16_t bits) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = bits;
    return h;
}

TEST(DeviceBitmap, KeepsTheRowsItWasGivenAndCanBeDeleted) {
    const std::vector<unsigned char> colours = {1, 2, 3, 0, 4, 5, 6, 0};
    std::vector<unsigned char> rows(8 + 3, 0xAB);  // two rows of 4 bytes, then bytes to ignore
    rows[0] = 0x80;
    const BitmapHandle h = createDIBitmap(header(3, 2, 1), colours, rows);
    ASSERT_NE(h, BitmapHandle{});
    const auto contents = deviceBitmapContents(h);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->header, header(3, 2, 1));
    EXPECT_EQ(contents->colours, colours);
    EXPECT_EQ(contents->bits, std::vector<unsigned char>(rows.begin(), rows.begin() + 8));
    EXPECT_TRUE(deleteObject(h));
    EXPECT_FALSE(deleteObject(h));
    EXPECT_FALSE(deviceBitmapContents(h));
}

TEST(DeviceBitmap, RefusesHeadersWithoutAnImageAndShortRows) {
    const std::vector<unsigned char> rows(64, 0);
    const BitmapInfoHeader bad[] = {header(0, 1, 24), header(-1, 1, 24), header(1, 0, 24),
                                    header(1, 1, 3),  header(1, 1, 0),   header(6, 3, 32)};
    for (const auto& h : bad)
        EXPECT_EQ(createDIBitmap(h, {}, rows), BitmapHandle{})
            << h.biWidth << "x" << h.biHeight << "x" << h.biBitCount;
    EXPECT_NE(createDIBitmap(header(5, -3, 24), {}, rows), BitmapHandle{}) << "top-down rows";
}

TEST(EnhMetaFile, BitsInBitsOut) {
    const size_t before = enhMetaFileCount();
    const EnhMetaFileHandle h = setEnhMetaFileBits(5, "\x01\x02\x03\x04\x05");
    ASSERT_NE(h, EnhMetaFileHandle{});
    EXPECT_EQ(getEnhMetaFileBits(h, 0, nullptr), 5u);
    char out[8] = {};
    EXPECT_EQ(getEnhMetaFileBits(h, 4, out), 0u) << "too small: nothing";
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(getEnhMetaFileBits(h, 8, out), 5u);
    EXPECT_EQ(std::string(out, 5), "\x01\x02\x03\x04\x05");
    EXPECT_TRUE(deleteEnhMetaFile(h));
    EXPECT_EQ(getEnhMetaFileBits(h, 0, nullptr), 0u);
    EXPECT_FALSE(deleteEnhMetaFile(h));
    EXPECT_EQ(setEnhMetaFileBits(0, "x"), EnhMetaFileHandle{});
    EXPECT_EQ(setEnhMetaFileBits(3, nullptr), EnhMetaFileHandle{});
    EXPECT_EQ(enhMetaFileCount(), before);
}

}  // namespace
