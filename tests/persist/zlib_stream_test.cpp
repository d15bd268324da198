#include "persist/archive/zlib_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <iterator>

#include "persist/archive/error.h"

namespace {

using cmn::archive::readCompressed;
using cmn::archive::writeCompressed;

std::string readAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ZlibStream, WritesAZlibStreamThatZlibItselfReads) {
    std::vector<char> out;
    writeCompressed(out, [](std::ostream& os) { os << "hello hello hello"; });
    ASSERT_GE(out.size(), 6u);
    // Header of the default level with a 32K window, then the deflate data and Adler-32.
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), 0x9C);
    char plain[64];
    uLongf plainSize = sizeof plain;
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain), &plainSize,
                         reinterpret_cast<const Bytef*>(out.data()), out.size()),
              Z_OK);
    EXPECT_EQ(std::string(plain, plainSize), "hello hello hello");
}

TEST(ZlibStream, ReadsWhatZlibWrote) {
    const std::string text(10000, 'q');
    std::vector<unsigned char> packed(compressBound(text.size()));
    uLongf packedSize = packed.size();
    ASSERT_EQ(compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                       text.size()),
              Z_OK);
    std::string back;
    readCompressed(std::string_view(reinterpret_cast<char*>(packed.data()), packedSize), 1 << 20,
                   [&](std::istream& in) { back = readAll(in); });
    EXPECT_EQ(back, text);
}

TEST(ZlibStream, DecompressionBeyondTheCapIsAnError) {
    std::vector<char> bomb;
    writeCompressed(bomb, [](std::ostream& os) { os << std::string(1 << 20, '\0'); });
    EXPECT_THROW(readCompressed(std::string_view(bomb.data(), bomb.size()), 4096,
                                [](std::istream& in) { readAll(in); }),
                 cmn::archive::ArchiveError);
}

TEST(ZlibStream, GarbageAndTruncatedStreamsAreErrors) {
    std::vector<char> good;
    writeCompressed(good, [](std::ostream& os) { os << std::string(5000, 'z') << "end"; });
    const std::string truncated(good.data(), good.size() / 2);
    const std::string cases[] = {"\x78\x9C garbage that is not deflate data", truncated};
    for (const auto& bytes : cases)
        EXPECT_THROW(readCompressed(bytes, 1 << 20, [](std::istream& in) { readAll(in); }),
                     cmn::archive::ArchiveError);
}

}  // namespace
