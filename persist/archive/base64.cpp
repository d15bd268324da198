#include "persist/archive/base64.h"

namespace cmn::archive::base64 {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 72;
}  // namespace

void encodeBlock(const char* data, size_t n, std::string& out) {
    const size_t chars = (8 * n + 5) / 6;
    out.reserve(out.size() + chars + chars / kLineLength + 2);
    size_t written = 0;
    auto put = [&](char c) {
        if (written != 0 && written % kLineLength == 0) out.push_back('\n');
        out.push_back(c);
        ++written;
    };
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    const size_t rest = n - i;
    if (rest == 1) {
        const uint32_t v = uint32_t(p[i]) << 16;
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
    } else if (rest == 2) {
        const uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8);
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
    }
    if (n != 0 && n % 3 == 0) out.push_back('=');
}

}  // namespace cmn::archive::base64
