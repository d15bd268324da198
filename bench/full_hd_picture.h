#pragma once

// The picture the capture benchmarks copy: a 1920x1080 PNG of varied pixels, so that it is not
// trivially small; the same on every desktop, so that their figures compare.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clipboard_conversions.h"

namespace bench {

inline std::string fullHdPng() {
    const int w = 1920, h = 1080;
    std::string dib(40 + size_t(w) * h * 4, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<char>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, w);
    put32(8, h);
    dib[12] = 1;
    dib[14] = 32;
    uint32_t x = 1;
    for (size_t i = 40; i < dib.size(); i += 4) {
        x = x * 1103515245 + 12345;
        put32(i, (x >> 8) | 0xFF000000u);
    }
    return platform::dibToPng(dib).value_or(std::string());
}

}  // namespace bench
