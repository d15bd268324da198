#pragma once

// PNG files as the bitmap item keeps them: checking a file another program offered, so that its
// bytes can be kept as they are, and writing one from pixels quickly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cb::png {

// Whether `bytes` is one well-formed PNG file: the signature; chunks whose lengths stay inside
// the file and whose CRCs match; IHDR first, 13 bytes, with a width and height from 1 to 2^31-1,
// a bit depth its colour type allows, compression and filter method 0 and interlace method 0 or
// 1; a PLTE before the image data when the colour type needs one; the image data in one run of
// IDAT chunks; an empty IEND last, with nothing after it. The rows the picture decodes to (at
// least 8 bits a pixel, each row padded to 4 bytes) may take at most maxDecodedBytes.
// The compressed image data itself is not inflated here: a decoder still meets it as untrusted.
bool isWellFormed(std::string_view bytes, uint64_t maxDecodedBytes);

// Rows of 8-bit pixels in the byte order of a DIB: blue, green, red and, with alpha, alpha.
struct BgrRows {
    const unsigned char* first = nullptr;  // the row at the top of the picture
    ptrdiff_t stride = 0;                  // from one row to the next one down (negative for bottom-up rows)
    uint32_t width = 0;
    uint32_t height = 0;
    bool alpha = false;
    // Resolution, written as a pHYs chunk when both are positive.
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
};

// A PNG file of the pixels (colour type 2 or 6, 8 bits a channel, no interlace). Each row is
// filtered by its left neighbour (Sub) and deflated at zlib's fastest level: most of the time
// goes into deflate, and level 1 takes about half the time of the default level for files about
// twice as large (a screenshot: 15 ms and 90 KB against 30 ms and 30 KB). Large pictures are
// deflated in two halves at once.
std::string encode(const BgrRows& rows);

}  // namespace cb::png
