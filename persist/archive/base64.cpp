#include "persist/archive/base64.h"

#include <algorithm>

namespace cmn::archive::base64 {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 72;
}  // namespace

void encodeBlock(const char* data, size_t n, std::string& out) {
    const size_t chars = (8 * n + 5) / 6;
    const size_t lineBreaks = chars == 0 ? 0 : (chars - 1) / kLineLength;
    const size_t start = out.size();
    out.resize(start + chars + lineBreaks + (n != 0 && n % 3 == 0 ? 1 : 0));
    char* o = out.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    size_t written = 0;
    auto group = [&](uint32_t v) {
        o[0] = kAlphabet[(v >> 18) & 63];
        o[1] = kAlphabet[(v >> 12) & 63];
        o[2] = kAlphabet[(v >> 6) & 63];
        o[3] = kAlphabet[v & 63];
        o += 4;
    };
    for (; i + 3 <= n; i += 3) {
        if (written != 0 && written % kLineLength == 0) *o++ = '\n';
        group((uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2]);
        written += 4;
        // The rest of this line in one run, without the line test.
        const size_t lineLeft = (kLineLength - written % kLineLength) % kLineLength / 4;
        const size_t run = std::min(lineLeft, (n - i - 3) / 3);
        for (size_t k = 0; k < run; ++k) {
            i += 3;
            group((uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2]);
        }
        written += 4 * run;
    }
    const size_t rest = n - i;
    if (rest != 0 && written != 0 && written % kLineLength == 0) *o++ = '\n';
    if (rest == 1) {
        const uint32_t v = uint32_t(p[i]) << 16;
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
    } else if (rest == 2) {
        const uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8);
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
    }
    if (n != 0 && n % 3 == 0) *o++ = '=';
}

}  // namespace cmn::archive::base64
