#pragma once

// Builds decompression bombs as real zlib streams (header, deflate data, Adler-32 trailer) in
// milliseconds: every piece is a raw deflate segment that ends with a full flush, so it decodes
// on its own and a segment of one run of bytes can be repeated as often as wanted. A gigabyte
// of output costs about a megabyte.

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillet::fuzz {

class ZlibBomb {
public:
    ZlibBomb() : out_("\x78\xDA", 2) {}

    // Text as it is.
    ZlibBomb& text(std::string_view bytes) {
        out_ += segment(bytes, false);
        add(adler32(1, reinterpret_cast<const Bytef*>(bytes.data()), size(bytes)), bytes.size());
        return *this;
    }

    // n copies of one byte.
    ZlibBomb& run(char c, uint64_t n) {
        constexpr uint64_t kPiece = 1 << 20;
        const std::string piece(kPiece, c);
        const std::string packed = segment(piece, false);
        const uLong pieceAdler =
            adler32(1, reinterpret_cast<const Bytef*>(piece.data()), size(piece));
        for (; n >= kPiece; n -= kPiece) {
            out_ += packed;
            add(pieceAdler, kPiece);
        }
        if (n > 0) text(std::string(n, c));
        return *this;
    }

    // The complete stream.
    std::string finish() const {
        std::string result = out_ + segment({}, true);
        for (int shift = 24; shift >= 0; shift -= 8)
            result.push_back(static_cast<char>((adler_ >> shift) & 0xFF));
        return result;
    }

    uint64_t inflatedSize() const { return total_; }

private:
    static uInt size(std::string_view bytes) { return static_cast<uInt>(bytes.size()); }

    // Raw deflate of the bytes, ended by a full flush (or as the final block).
    static std::string segment(std::string_view bytes, bool last) {
        z_stream z{};
        if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2 failed");
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        z.avail_in = size(bytes);
        std::string packed;
        char chunk[1 << 14];
        int rc;
        do {
            z.next_out = reinterpret_cast<Bytef*>(chunk);
            z.avail_out = sizeof chunk;
            rc = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
            packed.append(chunk, sizeof chunk - z.avail_out);
        } while (z.avail_out == 0 || (last && rc != Z_STREAM_END));
        deflateEnd(&z);
        return packed;
    }

    void add(uLong adler, uint64_t n) {
        adler_ = adler32_combine(adler_, adler, static_cast<z_off_t>(n));
        total_ += n;
    }

    std::string out_;
    uLong adler_ = 1;
    uint64_t total_ = 0;
};

// The archive text of a record list (class ids from `firstClassId`, object ids from
// `firstObjectId`) whose records each hold a text of `textBytes` bytes: as much memory as the
// archive is long, if a reader believed it.
inline ZlibBomb& recordListBomb(ZlibBomb& bomb, int firstClassId, int firstObjectId,
                                int records, uint64_t textBytes) {
    const std::string recordClass = std::to_string(firstClassId + 3);
    bomb.text(" 1 0 " + std::to_string(firstObjectId) + " 0 0 " + std::to_string(records));
    for (int i = 1; i <= records; ++i) {
        const std::string id = std::to_string(firstObjectId + i);
        // The first record brings the shared pointer's, the record's and the block's preambles.
        bomb.text(i == 1 ? " 0 1 " + recordClass + " 1 1 " + id + " 0 0 0 "
                         : " " + recordClass + " " + id + " 0 ");
        bomb.text(std::to_string(textBytes) + " ");
        bomb.run('A', textBytes);
        bomb.text(" 0  0 0 0 0 0 8 0 0 0 0 0 0 0 0");
    }
    return bomb.text(" 4 Bomb 100 1 0\n");
}

inline constexpr std::string_view kBombArchiveHeader = "22 serialization::archive 3";

struct Bomb {
    std::string bytes;
    uint64_t inflated;  // what the zlib stream in it inflates to
};

// A record-list file, compressed: four records of 256 MiB of text (the most a string of a file
// may hold), 1 GiB in all.
inline Bomb listFileBomb() {
    ZlibBomb bomb;
    bomb.text(kBombArchiveHeader).text(" 0 0 4000803 1");  // ArchiveInfo
    recordListBomb(bomb, 1, 0, 4, 256u << 20);
    const char magic[] = "\x80\x30\x8B\xBF";  // 0xBF8B3080: a compressed record-list file
    return Bomb{std::string(magic, 4) + bomb.finish(), bomb.inflatedSize()};
}

// A record list as a peer sends it: sixteen records of 64 MiB of text (the most a string from a
// peer may hold), 1 GiB in all.
inline Bomb peerListBomb() {
    ZlibBomb bomb;
    bomb.text(kBombArchiveHeader);
    recordListBomb(bomb, 0, 0, 16, 64u << 20);
    return Bomb{bomb.finish(), bomb.inflatedSize()};
}

}  // namespace quillet::fuzz
