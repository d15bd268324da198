#pragma once

// zlib streams (RFC 1950: header, deflate data, Adler-32 trailer; default level, window bits 15,
// memory level 8, default strategy) around archive text, through Boost.Iostreams.

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

#include "persist/archive/limits.h"

namespace cmn::archive {

// How hard deflate works. Data that is compressed already (a PNG file, written as base64)
// holds no repeats for deflate's search to find: Huffman codes alone take back the base64
// expansion as well, about ten times faster.
enum class Deflate { Default, HuffmanOnly };

// Runs `write` on a stream whose bytes are compressed into `out` (appended). The compressor is
// closed before returning, so `out` holds a complete zlib stream. Errors propagate.
void writeCompressed(std::vector<char>& out, const std::function<void(std::ostream&)>& write,
                     Deflate how = Deflate::Default);

// The same into an open stream (a file after its magic).
void writeCompressed(std::ostream& sink, const std::function<void(std::ostream&)>& write);

// Runs `read` on a stream of the decompressed bytes of `compressed`. Output beyond the limits
// (its size, or its ratio to the input once past the ratio-free part) is an ArchiveError of kind
// LimitExceeded, raised before those bytes reach `read`; bad zlib data throws.
void readCompressed(std::string_view compressed, const InflateLimits& limits,
                    const std::function<void(std::istream&)>& read);

// The same from an open stream (a file after its magic), decompressing as it is read.
void readCompressed(std::istream& source, const InflateLimits& limits,
                    const std::function<void(std::istream&)>& read);

// At most `maxDecompressedBytes`, with the default ratio rule of InflateLimits.
inline void readCompressed(std::string_view compressed, uint64_t maxDecompressedBytes,
                           const std::function<void(std::istream&)>& read) {
    readCompressed(compressed, InflateLimits{maxDecompressedBytes}, read);
}
inline void readCompressed(std::istream& source, uint64_t maxDecompressedBytes,
                           const std::function<void(std::istream&)>& read) {
    readCompressed(source, InflateLimits{maxDecompressedBytes}, read);
}

}  // namespace cmn::archive
