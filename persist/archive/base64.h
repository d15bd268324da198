#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cmn::archive::base64 {

// The archive's binary block body: ceil(8n/6) characters with zero filler bits, a line feed after
// every 72 characters when more follow, then one "=" when n is a multiple of 3 (and not 0).
void encodeBlock(const char* data, size_t n, std::string& out);

// Value of a base64 character, or -1.
inline int decodeChar(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace cmn::archive::base64
