#include "model/png_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <stdexcept>
#include <vector>

namespace cb::png {

namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
constexpr uint32_t kMaxDimension = 0x7FFFFFFF;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
// Pictures whose filtered rows take more than this are deflated in two halves at once.
constexpr size_t kSplitBytes = 1 << 20;

uint32_t read32(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void put32(std::string& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

uint32_t crcOf(const unsigned char* p, size_t n) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc = crc32(crc, p, step);
        p += step;
        n -= step;
    }
    return static_cast<uint32_t>(crc);
}

// Channels of each colour type, and whether a bit depth is allowed for it.
int channels(unsigned colourType) {
    switch (colourType) {
        case 0: return 1;  // grey
        case 2: return 3;  // RGB
        case 3: return 1;  // palette
        case 4: return 2;  // grey and alpha
        case 6: return 4;  // RGBA
        default: return 0;
    }
}

bool depthAllowed(unsigned colourType, unsigned depth) {
    switch (colourType) {
        case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6: return depth == 8 || depth == 16;
        default: return false;
    }
}

bool chunkIs(const unsigned char* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

bool isLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void appendChunk(std::string& out, const char* type, const void* data, size_t n) {
    put32(out, static_cast<uint32_t>(n));
    const size_t start = out.size();
    out.append(type, 4);
    if (n > 0) out.append(static_cast<const char*>(data), n);
    put32(out, crcOf(reinterpret_cast<const unsigned char*>(out.data()) + start, n + 4));
}

// Filtered rows [from, to): each starts with filter type 1 (Sub) and holds RGB(A) differences.
std::vector<unsigned char> filterRows(const BgrRows& rows, uint32_t from, uint32_t to) {
    const size_t channelsOut = rows.alpha ? 4 : 3;
    const size_t rowBytes = 1 + size_t{rows.width} * channelsOut;
    std::vector<unsigned char> out(rowBytes * (to - from));
    unsigned char* d = out.data();
    for (uint32_t y = from; y < to; ++y) {
        const unsigned char* s = rows.first + rows.stride * static_cast<ptrdiff_t>(y);
        *d++ = 1;
        unsigned char pr = 0, pg = 0, pb = 0, pa = 0;
        if (rows.alpha) {
            for (uint32_t x = 0; x < rows.width; ++x, s += 4, d += 4) {
                const unsigned char b = s[0], g = s[1], r = s[2], a = s[3];
                d[0] = static_cast<unsigned char>(r - pr);
                d[1] = static_cast<unsigned char>(g - pg);
                d[2] = static_cast<unsigned char>(b - pb);
                d[3] = static_cast<unsigned char>(a - pa);
                pr = r, pg = g, pb = b, pa = a;
            }
        } else {
            for (uint32_t x = 0; x < rows.width; ++x, s += 3, d += 3) {
                const unsigned char b = s[0], g = s[1], r = s[2];
                d[0] = static_cast<unsigned char>(r - pr);
                d[1] = static_cast<unsigned char>(g - pg);
                d[2] = static_cast<unsigned char>(b - pb);
                pr = r, pg = g, pb = b;
            }
        }
    }
    return out;
}

// One part of the image data as raw deflate: a part that is not the last ends on a byte
// boundary (a full flush), so that the parts joined make one deflate stream.
struct DeflatedPart {
    std::string bytes;
    uLong adler = 1;
    size_t inputBytes = 0;
};

DeflatedPart deflatePart(const BgrRows& rows, uint32_t from, uint32_t to, bool last) {
    std::vector<unsigned char> filtered = filterRows(rows, from, to);
    DeflatedPart part;
    part.inputBytes = filtered.size();
    part.adler = adler32(adler32(0L, Z_NULL, 0), filtered.data(), static_cast<uInt>(filtered.size()));
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    part.bytes.resize(deflateBound(&z, filtered.size()) + 16);
    z.next_in = filtered.data();
    z.avail_in = static_cast<uInt>(filtered.size());
    z.next_out = reinterpret_cast<Bytef*>(part.bytes.data());
    z.avail_out = static_cast<uInt>(part.bytes.size());
    const int result = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    const bool done = last ? result == Z_STREAM_END : result == Z_OK && z.avail_in == 0;
    part.bytes.resize(z.total_out);
    deflateEnd(&z);
    if (!done) throw std::runtime_error("deflate failed");
    return part;
}

}  // namespace

bool isWellFormed(std::string_view bytes, uint64_t maxDecodedBytes) {
    if (bytes.size() < kSignature.size() || bytes.substr(0, kSignature.size()) != kSignature)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t at = kSignature.size();
    bool header = false, palette = false, ended = false;
    unsigned colourType = 0;
    enum { Before, Inside, After } data = Before;
    while (at < bytes.size()) {
        if (ended || bytes.size() - at < 12) return false;
        const uint32_t length = read32(p + at);
        const unsigned char* type = p + at + 4;
        if (length > kMaxChunkLength || length > bytes.size() - at - 12) return false;
        if (!isLetter(type[0]) || !isLetter(type[1]) || !isLetter(type[2]) || !isLetter(type[3]))
            return false;
        const unsigned char* body = type + 4;
        if (crcOf(type, size_t{length} + 4) != read32(body + length)) return false;
        const bool isHeader = chunkIs(type, "IHDR");
        if (header == isHeader) return false;  // IHDR first, and only there
        if (isHeader) {
            if (length != 13) return false;
            const uint32_t width = read32(body), height = read32(body + 4);
            const unsigned depth = body[8];
            colourType = body[9];
            if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension)
                return false;
            if (!depthAllowed(colourType, depth) || body[10] != 0 || body[11] != 0 || body[12] > 1)
                return false;
            const uint64_t bitsPerPixel = std::max<uint64_t>(8, uint64_t(channels(colourType)) * depth);
            const uint64_t pitch = (uint64_t{width} * bitsPerPixel + 31) / 32 * 4;
            if (pitch > maxDecodedBytes / height) return false;
            header = true;
        } else if (chunkIs(type, "IDAT")) {
            if (data == After) return false;
            data = Inside;
        } else {
            if (data == Inside) data = After;
            if (chunkIs(type, "PLTE")) {
                if (data != Before || palette || length == 0 || length % 3 != 0 || length > 768)
                    return false;
                palette = true;
            } else if (chunkIs(type, "IEND")) {
                if (length != 0) return false;
                ended = true;
            }
        }
        at += size_t{length} + 12;
    }
    return ended && data != Before && (colourType != 3 || palette);
}

std::string encode(const BgrRows& rows) {
    if (rows.width == 0 || rows.height == 0 || rows.width > kMaxDimension || rows.height > kMaxDimension)
        throw std::invalid_argument("no picture");
    std::string out(kSignature);
    unsigned char header[13] = {};
    auto be32 = [](unsigned char* p, uint32_t v) {
        p[0] = static_cast<unsigned char>(v >> 24);
        p[1] = static_cast<unsigned char>(v >> 16);
        p[2] = static_cast<unsigned char>(v >> 8);
        p[3] = static_cast<unsigned char>(v);
    };
    be32(header, rows.width);
    be32(header + 4, rows.height);
    header[8] = 8;
    header[9] = rows.alpha ? 6 : 2;
    appendChunk(out, "IHDR", header, sizeof header);
    if (rows.xPelsPerMeter > 0 && rows.yPelsPerMeter > 0) {
        unsigned char phys[9] = {};
        be32(phys, static_cast<uint32_t>(rows.xPelsPerMeter));
        be32(phys + 4, static_cast<uint32_t>(rows.yPelsPerMeter));
        phys[8] = 1;  // metres
        appendChunk(out, "pHYs", phys, sizeof phys);
    }

    const size_t filteredBytes = (1 + size_t{rows.width} * (rows.alpha ? 4 : 3)) * rows.height;
    std::vector<DeflatedPart> parts;
    if (filteredBytes > kSplitBytes && rows.height > 1) {
        const uint32_t middle = rows.height / 2;
        auto top = std::async(std::launch::async, [&] { return deflatePart(rows, 0, middle, false); });
        DeflatedPart bottom = deflatePart(rows, middle, rows.height, true);
        parts.push_back(top.get());
        parts.push_back(std::move(bottom));
    } else {
        parts.push_back(deflatePart(rows, 0, rows.height, true));
    }

    // One zlib stream: its header, the parts, the Adler-32 of all filtered rows.
    std::string stream("\x78\x01", 2);
    uLong adler = parts[0].adler;
    for (size_t i = 1; i < parts.size(); ++i)
        adler = adler32_combine(adler, parts[i].adler, static_cast<z_off_t>(parts[i].inputBytes));
    size_t total = 6;
    for (const DeflatedPart& part : parts) total += part.bytes.size();
    stream.reserve(total);
    for (const DeflatedPart& part : parts) stream += part.bytes;
    put32(stream, static_cast<uint32_t>(adler));
    constexpr size_t kMaxIdatBytes = size_t{1} << 30;
    for (size_t at = 0; at < stream.size(); at += kMaxIdatBytes)
        appendChunk(out, "IDAT", stream.data() + at, std::min(kMaxIdatBytes, stream.size() - at));
    appendChunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace cb::png
