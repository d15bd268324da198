// PNG files: the check that decides whether another program's file is kept as it is, and the
// fast writer whose files FreeImage (an independent reader) must decode to the same pixels.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>

#include "model/bitmap_item.h"
#include "model/png_file.h"

namespace {

using namespace std::string_literals;

constexpr uint64_t kRoom = uint64_t{1} << 30;

std::string be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A chunk with its length and a correct CRC, so that a case fails for what it changes.
std::string chunk(const std::string& type, const std::string& body) {
    const std::string sealed = type + body;
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(sealed.data()), static_cast<uInt>(sealed.size())));
    return be32(static_cast<uint32_t>(body.size())) + sealed + be32(crc);
}

const std::string kSignature = "\x89PNG\r\n\x1a\n"s;

// A 1 x 1 RGB picture of the colour 11 22 33, written out byte by byte.
const std::string kOnePixel =
    kSignature +
    "\x00\x00\x00\x0d" "IHDR" "\x00\x00\x00\x01" "\x00\x00\x00\x01" "\x08\x02\x00\x00\x00"
    "\x90\x77\x53\xde"s +
    "\x00\x00\x00\x0c" "IDAT" "\x78\xda\x63\x10\x54\x32\x06\x00\x00\xae\x00\x67" "\x2b\xe3\x72\xf3"s +
    "\x00\x00\x00\x00" "IEND" "\xae\x42\x60\x82"s;

std::string header(uint32_t width, uint32_t height, char depth = 8, char colourType = 2,
                   char interlace = 0) {
    return chunk("IHDR", be32(width) + be32(height) + depth + colourType + "\x00\x00"s + interlace);
}

const std::string kData = chunk("IDAT", "\x78\xda\x63\x10\x54\x32\x06\x00\x00\xae\x00\x67"s);
const std::string kEnd = chunk("IEND", "");

TEST(PngFile, AWellFormedFileByHandPasses) {
    EXPECT_TRUE(cb::png::isWellFormed(kOnePixel, kRoom));
    EXPECT_EQ(kSignature + header(1, 1) + kData + kEnd, kOnePixel);
    // Ancillary chunks, a palette for a palette picture, data split over chunks, interlace.
    const std::string palette = chunk("PLTE", "\x11\x22\x33"s);
    EXPECT_TRUE(cb::png::isWellFormed(
        kSignature + header(1, 1, 8, 3) + chunk("tEXt", "a\0b"s) + palette + kData + kData + kEnd, kRoom));
    EXPECT_TRUE(cb::png::isWellFormed(kSignature + header(1, 1, 16, 6, 1) + kData + kEnd, kRoom));
}

TEST(PngFile, MalformedFilesAreRefused) {
    std::string badCrc = kOnePixel;
    badCrc[kOnePixel.size() - 20] ^= 1;  // a byte of the image data
    std::string badLength = kOnePixel;
    badLength[8 + 25 + 3] = '\x40';  // the IDAT's length runs past the end
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"signature only", kSignature},
        {"wrong signature", "\x89PNG\r\n\x1a\r"s + kOnePixel.substr(8)},
        {"checksum of the data", badCrc},
        {"cut in the end chunk", kOnePixel.substr(0, kOnePixel.size() - 1)},
        {"cut in the data", kOnePixel.substr(0, 50)},
        {"length beyond the file", badLength},
        {"no end", kSignature + header(1, 1) + kData},
        {"bytes after the end", kOnePixel + "x"},
        {"no data", kSignature + header(1, 1) + kEnd},
        {"header not first", kSignature + chunk("tEXt", "a") + header(1, 1) + kData + kEnd},
        {"two headers", kSignature + header(1, 1) + header(1, 1) + kData + kEnd},
        {"data in two runs", kSignature + header(1, 1) + kData + chunk("tEXt", "a") + kData + kEnd},
        {"palette picture without palette", kSignature + header(1, 1, 8, 3) + kData + kEnd},
        {"palette after the data",
         kSignature + header(1, 1, 8, 3) + kData + chunk("PLTE", "\x11\x22\x33"s) + kEnd},
        {"zero width", kSignature + header(0, 1) + kData + kEnd},
        {"width beyond 2^31-1", kSignature + header(0x80000000u, 1) + kData + kEnd},
        {"rows beyond the room", kSignature + header(0x7FFFFFFF, 0x7FFFFFFF) + kData + kEnd},
        {"depth 4 for RGB", kSignature + header(1, 1, 4, 2) + kData + kEnd},
        {"colour type 5", kSignature + header(1, 1, 8, 5) + kData + kEnd},
        {"interlace method 2", kSignature + header(1, 1, 8, 2, 2) + kData + kEnd},
        {"non-empty end", kSignature + header(1, 1) + kData + chunk("IEND", "x")},
        {"chunk type not letters", kSignature + header(1, 1) + chunk("ID4T", "x") + kData + kEnd},
    };
    for (const Case& c : cases) EXPECT_FALSE(cb::png::isWellFormed(c.bytes, kRoom)) << c.name;
    // The room is the decoded rows: 1000 x 1000 RGB pixels take 3 000 000 bytes.
    const std::string large = kSignature + header(1000, 1000) + kData + kEnd;
    EXPECT_TRUE(cb::png::isWellFormed(large, 3000000));
    EXPECT_FALSE(cb::png::isWellFormed(large, 2999999));
}

// Pixels in DIB byte order, and what FreeImage reads back from the written file.
struct Pixels {
    uint32_t width, height;
    bool alpha;
    std::vector<unsigned char> bytes;  // top row first, rows padded to 4 bytes
    size_t pitch() const { return (size_t{width} * (alpha ? 4 : 3) + 3) / 4 * 4; }
};

Pixels pattern(uint32_t width, uint32_t height, bool alpha) {
    Pixels p{width, height, alpha, {}};
    p.bytes.resize(p.pitch() * height);
    uint32_t x = 7;
    for (size_t r = 0; r < height; ++r)
        for (size_t i = 0; i < size_t{width} * (alpha ? 4 : 3); ++i) {
            x = x * 1103515245 + 12345;
            // Runs and noise, so both deflate paths are taken.
            p.bytes[r * p.pitch() + i] = static_cast<unsigned char>(i % 7 < 3 ? r + i / 5 : x >> 16);
        }
    return p;
}

TEST(PngFile, WrittenFilesDecodeToTheSamePixels) {
    struct Case {
        uint32_t width, height;
        bool alpha, bottomUp;
    };
    // Odd widths pad their rows; the last case is large enough to be deflated in two halves.
    const Case cases[] = {{1, 1, false, false}, {3, 2, false, true}, {5, 3, true, false},
                          {2, 7, true, true},   {700, 500, true, true}};
    for (const Case& c : cases) {
        const Pixels p = pattern(c.width, c.height, c.alpha);
        cb::png::BgrRows rows;
        rows.stride = c.bottomUp ? -static_cast<ptrdiff_t>(p.pitch()) : static_cast<ptrdiff_t>(p.pitch());
        // Bottom-up storage holds the rows in reverse: the picture's top row is the last one.
        std::vector<unsigned char> stored = p.bytes;
        if (c.bottomUp)
            for (uint32_t r = 0; r < c.height; ++r)
                std::copy_n(p.bytes.begin() + r * p.pitch(), p.pitch(),
                            stored.begin() + (c.height - 1 - r) * p.pitch());
        rows.first = c.bottomUp ? stored.data() + (c.height - 1) * p.pitch() : stored.data();
        rows.width = c.width;
        rows.height = c.height;
        rows.alpha = c.alpha;
        const std::string file = cb::png::encode(rows);
        EXPECT_TRUE(cb::png::isWellFormed(file, kRoom)) << c.width;

        cb::BitmapItem item;
        item.setBitmap({cmn::mblock<char>(file)});
        const auto dib = item.decode();
        ASSERT_TRUE(dib) << c.width;
        EXPECT_EQ(dib->header.biWidth, static_cast<int32_t>(c.width));
        EXPECT_EQ(dib->header.biHeight, static_cast<int32_t>(c.height));
        EXPECT_EQ(dib->header.biBitCount, c.alpha ? 32 : 24);
        // FreeImage keeps rows bottom-up: its first row is the picture's last.
        ASSERT_EQ(dib->bits.size(), p.bytes.size());
        const size_t used = size_t{c.width} * (c.alpha ? 4 : 3);
        for (uint32_t r = 0; r < c.height; ++r)
            EXPECT_TRUE(std::equal(p.bytes.begin() + r * p.pitch(), p.bytes.begin() + r * p.pitch() + used,
                                   dib->bits.begin() + (c.height - 1 - r) * p.pitch()))
                << c.width << " x " << c.height << " row " << r;
    }
}

}  // namespace
