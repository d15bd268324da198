// The bitmap item: packed DIBs in, a PNG file kept, an equivalent DIB or a device bitmap out.

#include <gtest/gtest.h>

#include <cstring>

#include "model/bitmap_item.h"
#include "platform/clipboard_formats.h"
#include "platform/device_bitmap.h"
#include "test_data_source.h"

namespace {

using namespace platform;
using cb::BitmapItem;
using cb::FormatPair;
using testing_support::globalBytes;
using testing_support::newGlobal;
using testing_support::TestDataSource;

using Bytes = std::vector<unsigned char>;

FormatEtc request(ClipFormat format, uint32_t tymed) {
    FormatEtc r;
    r.cfFormat = format;
    r.tymed = tymed;
    return r;
}

struct Picture {
    BitmapInfoHeader header;
    Bytes table;  // colour table, or the three masks
    Bytes rows;   // as stored, with row padding
};

Bytes packed(const Picture& p) {
    Bytes out(BitmapInfoHeader::kBytes);
    p.header.write(out.data());
    out.insert(out.end(), p.table.begin(), p.table.end());
    out.insert(out.end(), p.rows.begin(), p.rows.end());
    return out;
}

std::string asString(const Bytes& b) { return std::string(b.begin(), b.end()); }

void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

BitmapInfoHeader header(int32_t width, int32_t height, uint16_t bitCount,
                        uint32_t compression = BI_RGB) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = bitCount;
    h.biCompression = compression;
    return h;
}

// Rows of a picture from pixel bytes: bytesPerPixel × width bytes per row, each row padded to a
// multiple of 4 with zeros. Pixel i of row r has the bytes f(r, i, k).
template <class F>
Bytes rowsOf(int width, int height, int bytesPerPixel, F f) {
    Bytes rows;
    for (int r = 0; r < height; ++r) {
        size_t n = 0;
        for (int i = 0; i < width; ++i)
            for (int k = 0; k < bytesPerPixel; ++k, ++n) rows.push_back(f(r, i, k));
        while (n % 4) rows.push_back(0), ++n;
    }
    return rows;
}

Picture picture24() {
    return {header(3, 2, 24), {}, rowsOf(3, 2, 3, [](int r, int i, int k) {
                return static_cast<unsigned char>(40 * r + 13 * i + 100 * k + 1);
            })};
}

Picture picture32() {
    return {header(2, 3, 32), {}, rowsOf(2, 3, 4, [](int r, int i, int k) {
                return static_cast<unsigned char>(k == 3 ? 60 * r + 30 * i + 5 : 50 * k + 9 * r + i);
            })};
}

Picture picture8() {
    Picture p{header(5, 2, 8), {}, rowsOf(5, 2, 1, [](int r, int i, int) {
                  return static_cast<unsigned char>(r * 100 + i * 37);
              })};
    for (int c = 0; c < 256; ++c) {
        p.table.push_back(static_cast<unsigned char>(c));            // blue
        p.table.push_back(static_cast<unsigned char>(255 - c));      // green
        p.table.push_back(static_cast<unsigned char>((c * 7) & 0xFF));  // red
        p.table.push_back(0);
    }
    return p;
}

BitmapItem itemFrom(const Picture& p) {
    BitmapItem item;
    const Bytes dib = packed(p);
    EXPECT_TRUE(item.setFromPackedDib(dib.data(), dib.size()));
    return item;
}

TEST(BitmapItem, KeepsAStandardPngFile) {
    TestDataSource source;
    source.offerGlobal(CF_DIB, asString(packed(picture24())));
    BitmapItem item;
    const size_t blocks = globalBlockCount();
    ASSERT_TRUE(item.readFrom(source));
    EXPECT_EQ(globalBlockCount(), blocks);
    ASSERT_GT(item.png().size(), 8u);
    EXPECT_EQ(item.png().view().substr(0, 8), std::string_view("\x89PNG\r\n\x1A\n", 8));
}

TEST(BitmapItem, UncompressedAndPalettePicturesComeBackPixelForPixel) {
    for (const Picture& p : {picture24(), picture32(), picture8()}) {
        const BitmapItem item = itemFrom(p);
        const auto dib = item.decode();
        ASSERT_TRUE(dib) << p.header.biBitCount;
        EXPECT_EQ(dib->header.biWidth, p.header.biWidth);
        EXPECT_EQ(dib->header.biHeight, p.header.biHeight);
        EXPECT_EQ(dib->header.biBitCount, p.header.biBitCount);
        EXPECT_EQ(dib->header.biCompression, BI_RGB);
        EXPECT_EQ(dib->header.biSize, 40u);
        EXPECT_EQ(dib->palette, p.table) << p.header.biBitCount;
        EXPECT_EQ(dib->bits, p.rows) << p.header.biBitCount;
    }
}

TEST(BitmapItem, SixteenBitFieldsPicturesComeBackAsTheSameColours) {
    // Pure channel values do not depend on how 5 or 6 bits are widened to 8.
    const uint16_t black = 0, white = 0xFFFF;
    struct Case {
        const char* name;
        uint32_t masks[3];
        uint16_t red, green, blue;
    };
    const Case cases[] = {
        {"565", {0xF800, 0x07E0, 0x001F}, 0xF800, 0x07E0, 0x001F},
        {"555", {0x7C00, 0x03E0, 0x001F}, 0x7C00, 0x03E0, 0x001F},
    };
    for (const Case& c : cases) {
        const uint16_t pixels[2][3] = {{c.red, c.green, c.blue}, {white, black, c.red}};
        const uint8_t expected[2][3][3] = {
            // blue, green, red
            {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}},
            {{255, 255, 255}, {0, 0, 0}, {0, 0, 255}},
        };
        Picture p{header(3, 2, 16, BI_BITFIELDS), {}, {}};
        for (uint32_t m : c.masks) put32(p.table, m);
        for (const auto& row : pixels) {
            for (uint16_t v : row) {
                p.rows.push_back(static_cast<unsigned char>(v));
                p.rows.push_back(static_cast<unsigned char>(v >> 8));
            }
            p.rows.push_back(0), p.rows.push_back(0);
        }
        const BitmapItem item = itemFrom(p);
        const auto dib = item.decode();
        ASSERT_TRUE(dib) << c.name;
        ASSERT_EQ(dib->header.biBitCount, 24) << c.name;
        EXPECT_EQ(dib->header.biCompression, BI_RGB);
        ASSERT_EQ(dib->bits.size(), 2u * 12u);
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 3; ++i)
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(dib->bits[r * 12 + i * 3 + k], expected[r][i][k])
                        << c.name << " row " << r << " pixel " << i << " channel " << k;
    }
}

TEST(BitmapItem, TopDownRowsComeBackBottomUp) {
    Picture down = picture24();
    down.header.biHeight = -down.header.biHeight;
    const auto dib = itemFrom(down).decode();
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->header.biHeight, 2);
    const Bytes& rows = down.rows;
    Bytes flipped(rows.begin() + 12, rows.end());
    flipped.insert(flipped.end(), rows.begin(), rows.begin() + 12);
    EXPECT_EQ(dib->bits, flipped);
}

TEST(BitmapItem, FreeImageTypesTravelInTheCompressionField) {
    // 257 is FreeImage's image type 2, sixteen-bit greyscale, which PNG can hold.
    Picture p{header(2, 2, 16, 257), {}, {0x10, 0x20, 0x30, 0x40, 0xFF, 0xFF, 0x00, 0x01}};
    const auto dib = itemFrom(p).decode();
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->header.biCompression, 257u);
    EXPECT_EQ(dib->bits, p.rows);
    EXPECT_TRUE(dib->palette.empty());
}

TEST(BitmapItem, RendersTheDibAndADeviceBitmap) {
    const BitmapItem item = itemFrom(picture8());
    const auto dib = item.decode();
    ASSERT_TRUE(dib);
    const Bytes expected = dib->bytes();
    EXPECT_EQ(expected.size(), 40u + 1024u + 16u);

    StgMedium medium;
    ASSERT_EQ(item.getData(request(CF_DIB, TYMED_HGLOBAL), medium), S_OK);
    EXPECT_EQ(medium.tymed, TYMED_HGLOBAL);
    EXPECT_EQ(globalBytes(medium.hGlobal), asString(expected));
    releaseStgMedium(medium);

    ASSERT_EQ(item.getData(request(CF_BITMAP, TYMED_GDI), medium), S_OK);
    EXPECT_EQ(medium.tymed, TYMED_GDI);
    const auto device = deviceBitmapContents(medium.hBitmap);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->header, dib->header);
    EXPECT_EQ(device->colours, dib->palette);
    EXPECT_EQ(device->bits, dib->bits);
    const size_t bitmaps = deviceBitmapCount();
    releaseStgMedium(medium);
    EXPECT_EQ(deviceBitmapCount(), bitmaps - 1);

    const GlobalHandle exact = newGlobal(std::string(expected.size(), 'x'));
    StgMedium here;
    here.hGlobal = exact;
    EXPECT_EQ(item.getDataHere(request(CF_DIB, TYMED_HGLOBAL), here), S_OK);
    EXPECT_EQ(globalBytes(exact), asString(expected));
    globalFree(exact);

    const GlobalHandle small = newGlobal(std::string(expected.size() - 1, 'x'));
    here.hGlobal = small;
    EXPECT_EQ(item.getDataHere(request(CF_DIB, TYMED_HGLOBAL), here), E_INVALIDARG);
    EXPECT_EQ(item.getDataHere(request(CF_BITMAP, TYMED_GDI), here), DV_E_FORMATETC);
    globalFree(small);
}

TEST(BitmapItem, NothingToDecodeMeansFailure) {
    BitmapItem empty;
    BitmapItem garbage;
    garbage.setBitmap({cmn::mblock<char>(std::string_view("not a picture"))});
    for (const BitmapItem* item : {&empty, &garbage}) {
        EXPECT_FALSE(item->decode());
        StgMedium medium;
        EXPECT_EQ(item->getData(request(CF_DIB, TYMED_HGLOBAL), medium), E_FAIL);
        EXPECT_EQ(item->getData(request(CF_BITMAP, TYMED_GDI), medium), E_FAIL);
        const GlobalHandle h = newGlobal(std::string(4096, 0));
        medium.hGlobal = h;
        EXPECT_EQ(item->getDataHere(request(CF_DIB, TYMED_HGLOBAL), medium), E_FAIL);
        globalFree(h);
    }
}

TEST(BitmapItem, RefusesDibsItCannotTakeAndKeepsTheOldPicture) {
    auto with = [](Picture p, auto change) {
        change(p);
        return packed(p);
    };
    Bytes truncatedHeader = packed(picture24());
    truncatedHeader.resize(39);
    Bytes shortRows = packed(picture24());
    shortRows.pop_back();
    Bytes masksMissing(40);
    header(3, 2, 16, BI_BITFIELDS).write(masksMissing.data());
    struct Case {
        const char* name;
        Bytes dib;
    };
    const Case cases[] = {
        {"header cut short", truncatedHeader},
        {"rows cut short", shortRows},
        {"masks missing", masksMissing},
        {"zero width", with(picture24(), [](Picture& p) { p.header.biWidth = 0; })},
        {"negative width", with(picture24(), [](Picture& p) { p.header.biWidth = -3; })},
        {"zero height", with(picture24(), [](Picture& p) { p.header.biHeight = 0; })},
        {"bit count 7", with(picture24(), [](Picture& p) { p.header.biBitCount = 7; })},
        {"run-length rows", with(picture8(), [](Picture& p) { p.header.biCompression = 1; })},
        {"colour table beyond the block",
         with(picture24(), [](Picture& p) { p.header.biClrUsed = 0x40000000; })},
        {"huge claimed size",
         with(picture24(), [](Picture& p) { p.header.biWidth = 0x7FFFFFFF; })},
        {"a FreeImage type beyond the last",
         with(picture32(), [](Picture& p) { p.header.biCompression = 268; })},
    };
    const BitmapItem before = itemFrom(picture24());
    for (const Case& c : cases) {
        BitmapItem item = before;
        TestDataSource source;
        source.offerGlobal(CF_DIB, asString(c.dib));
        const size_t blocks = globalBlockCount();
        EXPECT_FALSE(item.readFrom(source)) << c.name;
        EXPECT_EQ(globalBlockCount(), blocks) << c.name;
        EXPECT_EQ(item, before) << c.name;
    }
}

TEST(BitmapItem, AWellFormedPngOfferedIsKeptByteForByte) {
    const ClipFormat png = registeredFormats().png;
    // A file as another program writes it: a private chunk our writer never makes, sealed by
    // its CRC (of "quLtsoft").
    std::string file(itemFrom(picture32()).png().view());
    const std::string privateChunk("\0\0\0\x04quLtsoft\x91\x8e\xc7\x98", 16);
    file.insert(33, privateChunk);  // right after the header chunk
    TestDataSource source;
    source.offerGlobal(CF_DIB, asString(packed(picture24())));
    source.offerGlobal(png, file);
    BitmapItem item;
    ASSERT_TRUE(item.readFrom(source));
    EXPECT_EQ(item.png().view(), file);
    ASSERT_TRUE(item.decode());
    EXPECT_EQ(item.decode()->bits, picture32().rows);

    // Offered back as it is, next to the DIB and the device bitmap.
    std::vector<FormatPair> formats;
    item.appendFormats(formats);
    EXPECT_EQ(formats.back(), (FormatPair{png, TYMED_HGLOBAL}));
    StgMedium medium;
    ASSERT_EQ(item.getData(request(png, TYMED_HGLOBAL), medium), S_OK);
    EXPECT_EQ(globalBytes(medium.hGlobal), file);
    releaseStgMedium(medium);
    StgMedium here;
    here.hGlobal = newGlobal(std::string(file.size(), 'x'));
    EXPECT_EQ(item.getDataHere(request(png, TYMED_HGLOBAL), here), S_OK);
    EXPECT_EQ(globalBytes(here.hGlobal), file);
    globalFree(here.hGlobal);
}

TEST(BitmapItem, AMalformedPngIsPassedOverForTheDib) {
    const ClipFormat png = registeredFormats().png;
    std::string badChecksum(itemFrom(picture32()).png().view());
    badChecksum[40] ^= 1;
    const BitmapItem fromDib = itemFrom(picture24());
    for (const std::string& bad : {badChecksum, badChecksum.substr(0, 30), std::string("GIF89a")}) {
        TestDataSource both;
        both.offerGlobal(png, bad);
        both.offerGlobal(CF_DIB, asString(packed(picture24())));
        BitmapItem item;
        ASSERT_TRUE(item.readFrom(both));
        EXPECT_EQ(item, fromDib);

        TestDataSource pngOnly;
        pngOnly.offerGlobal(png, bad);
        BitmapItem kept = fromDib;
        EXPECT_FALSE(kept.readFrom(pngOnly));
        EXPECT_EQ(kept, fromDib);
    }
}

TEST(BitmapItem, EqualCapturesOfTheSamePixelsGiveEqualItems) {
    EXPECT_EQ(itemFrom(picture24()), itemFrom(picture24()));
    Picture other = picture24();
    other.rows[0] ^= 1;
    EXPECT_NE(itemFrom(picture24()), itemFrom(other));
    EXPECT_EQ(BitmapItem(), BitmapItem());
}

}  // namespace
