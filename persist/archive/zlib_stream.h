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

namespace cmn::archive {

// Runs `write` on a stream whose bytes are compressed into `out` (appended). The compressor is
// closed before returning, so `out` holds a complete zlib stream. Errors propagate.
void writeCompressed(std::vector<char>& out, const std::function<void(std::ostream&)>& write);

// The same into an open stream (a file after its magic).
void writeCompressed(std::ostream& sink, const std::function<void(std::ostream&)>& write);

// Runs `read` on a stream of the decompressed bytes of `compressed`. More than
// `maxDecompressedBytes` of output is an error (no decompression bombs); bad zlib data throws.
void readCompressed(std::string_view compressed, uint64_t maxDecompressedBytes,
                    const std::function<void(std::istream&)>& read);

// The same from an open stream (a file after its magic), decompressing as it is read.
void readCompressed(std::istream& source, uint64_t maxDecompressedBytes,
                    const std::function<void(std::istream&)>& read);

}  // namespace cmn::archive
