#include "platform/text_codec.h"

#include <gtest/gtest.h>

namespace {

using platform::ansiToUtf16;
using platform::utf16ToAnsi;
using platform::utf16ToUtf8;
using platform::utf8ToUtf16;

TEST(TextCodec, Utf8AndUtf16RoundTripAllPlanes) {
    const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
    const std::u16string utf16 = u"a\u00E9\u20AC\U0001F600";
    EXPECT_EQ(utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(utf16ToUtf8(utf16), utf8);
}

TEST(TextCodec, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    const Case cases[] = {
        {"\xFF", u"\uFFFD"},
        {"a\xC3", u"a\uFFFD"},                // truncated sequence
        {"\xC0\xAF", u"\uFFFD"},              // overlong
        {"\xED\xA0\x80", u"\uFFFD"},          // encoded surrogate
        {"\xE2\x82x", u"\uFFFDx"},            // broken continuation keeps the next character
    };
    for (const auto& c : cases) EXPECT_EQ(utf8ToUtf16(c.utf8), c.expected) << c.utf8;
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextCodec, AnsiIsWindows1252) {
    EXPECT_EQ(utf16ToAnsi(u"A\u00E9\u20AC\u2122"), "A\xE9\x80\x99");
    EXPECT_EQ(ansiToUtf16("A\xE9\x80\x99\x81"), u"A\u00E9\u20AC\u2122\u0081");
    EXPECT_EQ(utf16ToAnsi(u"\u4E2D"), "?");
}

}  // namespace
