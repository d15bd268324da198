// The search's substring test against the simple definition, at every position of texts long
// and short enough to meet each part of the block scan (whole blocks, the last block, short
// texts).

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "model/text_matcher.h"

namespace {

// The definition: both bytes upper-cased as the "C" locale does (A-Z only), then compared.
bool simpleMatch(const std::string& text, const std::string& needle, bool matchCase) {
    auto upper = [&](char c) { return !matchCase && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (needle.empty()) return false;
    for (size_t at = 0; at + needle.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < needle.size() && upper(text[at + i]) == upper(needle[i])) ++i;
        if (i == needle.size()) return true;
    }
    return false;
}

TEST(TextMatcher, AgreesWithTheSimpleDefinition) {
    // Letters of both cases, their neighbours that differ only in bit 0x20 ('@' '`', '[' '{'),
    // and UTF-8 bytes that do so too (C3 84 and C3 A4).
    const std::string alphabet = "aAbB@`[{\xC3\x84\xA4\xE3 z";
    std::mt19937 random(11);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text(pick(80), ' ');
        for (char& c : text) c = alphabet[pick(alphabet.size())];
        std::string needle;
        if (!text.empty() && pick(3) != 0) {
            // A piece of the text, its case flipped here and there: found at its own place.
            const size_t at = pick(text.size());
            needle = text.substr(at, 1 + pick(std::min<size_t>(6, text.size() - at)));
            for (char& c : needle)
                if (pick(2) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) c ^= 0x20;
        } else {
            needle.resize(pick(5));
            for (char& c : needle) c = alphabet[pick(alphabet.size())];
        }
        for (bool matchCase : {false, true}) {
            const bool expected = simpleMatch(text, needle, matchCase);
            found += expected;
            EXPECT_EQ(cb::TextMatcher(needle, matchCase).matches(text), expected)
                << "text \"" << text << "\" needle \"" << needle << "\" matchCase " << matchCase;
        }
    }
    EXPECT_GT(found, 1000);  // the sweep is not all misses
}

}  // namespace
