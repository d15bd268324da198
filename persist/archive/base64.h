#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cmn::archive::base64 {

// The archive's binary block body: ceil(8n/6) characters with zero filler bits, a line feed after
// every 72 characters when more follow, then one "=" when n is a multiple of 3 (and not 0).
void encodeBlock(const char* data, size_t n, std::string& out);

// Value of every byte as a base64 character; kInvalid for bytes outside the alphabet.
inline constexpr uint8_t kInvalid = 0x80;
inline constexpr std::array<uint8_t, 256> kDecodeTable = [] {
    std::array<uint8_t, 256> table{};
    for (auto& v : table) v = kInvalid;
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<uint8_t>(c - 'A');
    for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 26);
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0' + 52);
    table['+'] = 62;
    table['/'] = 63;
    return table;
}();

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
