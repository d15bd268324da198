// The text item: reading Unicode text from a global block, rendering it as Unicode and as
// ANSI text, and its failures.

#include <gtest/gtest.h>

#include "model/text_item.h"
#include "platform/clipboard_formats.h"
#include "test_data_source.h"

namespace {

using namespace platform;
using cb::TextItem;
using testing_support::globalBytes;
using testing_support::newGlobal;
using testing_support::TestDataSource;

FormatEtc request(ClipFormat format, uint32_t tymed = TYMED_HGLOBAL) {
    FormatEtc f;
    f.cfFormat = format;
    f.tymed = tymed;
    return f;
}

TEST(TextItem, ReadsWideTextUpToTheFirstNulOrTheWholeBlock) {
    struct Case {
        std::string block;  // UTF-16LE bytes as the source hands them over
        std::string utf8;
    };
    const Case cases[] = {
        {std::string("h\0i\0\0\0", 6), "hi"},
        {std::string("h\0i\0", 4), "hi"},                        // no NUL: all size/2 chars
        {std::string("h\0i\0!", 5), "hi"},                       // odd size: the last byte is not a char
        {std::string("a\0\0\0b\0", 6), "a"},                     // text ends at the first NUL
        {std::string("\0\0", 2), ""},
        {std::string("\xE9\0\xAC\x20", 4), "\xC3\xA9\xE2\x82\xAC"},  // "é€"
        {std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},  // a surrogate pair: U+1F600
    };
    for (const Case& c : cases) {
        TestDataSource source;
        source.offerGlobal(CF_UNICODETEXT, c.block);
        TextItem item;
        const size_t blocks = globalBlockCount();
        EXPECT_TRUE(item.readFrom(source)) << c.utf8;
        EXPECT_EQ(item.textUtf8(), c.utf8);
        EXPECT_EQ(globalBlockCount(), blocks) << "the medium is released";
    }
}

TEST(TextItem, ReadAsksForUnicodeTextInGlobalMemoryOnly) {
    TestDataSource source;
    source.offerGlobal(CF_UNICODETEXT, std::string("x\0", 2));
    TextItem item;
    ASSERT_TRUE(item.readFrom(source));
    ASSERT_EQ(source.requests().size(), 1u);
    const FormatEtc& asked = source.requests()[0];
    EXPECT_EQ(asked.cfFormat, CF_UNICODETEXT);
    EXPECT_EQ(asked.tymed, TYMED_HGLOBAL);
    EXPECT_EQ(asked.dwAspect, DVASPECT_CONTENT);
    EXPECT_EQ(asked.lindex, -1);
    EXPECT_EQ(asked.ptd, nullptr);
}

TEST(TextItem, FailedReadKeepsTheOldText) {
    TestDataSource tooShort;
    tooShort.offerGlobal(CF_UNICODETEXT, std::string("x", 1));
    TestDataSource empty;
    empty.offerGlobal(CF_UNICODETEXT, "");
    TestDataSource ansiOnly;
    ansiOnly.offerGlobal(CF_TEXT, "abc");
    TestDataSource wrongMedium;
    wrongMedium.offerWrongMedium(CF_UNICODETEXT, TYMED_HGLOBAL, TYMED_ISTREAM);
    for (TestDataSource* source : {&tooShort, &empty, &ansiOnly, &wrongMedium}) {
        TextItem item(u"old");
        const size_t blocks = globalBlockCount();
        EXPECT_FALSE(item.readFrom(*source));
        EXPECT_EQ(item.textUtf8(), "old");
        EXPECT_EQ(globalBlockCount(), blocks);
    }
}

TEST(TextItem, RendersUnicodeAndAnsiTextWithTerminators) {
    struct Case {
        std::u16string text;
        ClipFormat format;
        std::string bytes;
    };
    const Case cases[] = {
        {u"", CF_UNICODETEXT, std::string(2, '\0')},
        {u"", CF_TEXT, std::string(1, '\0')},
        {u"ab", CF_UNICODETEXT, std::string("a\0b\0\0\0", 6)},
        {u"ab", CF_TEXT, std::string("ab\0", 3)},
        {u"\u00E9\u20AC", CF_UNICODETEXT, std::string("\xE9\0\xAC\x20\0\0", 6)},
        {u"\u00E9\u20AC", CF_TEXT, std::string("\xE9\x80\0", 3)},  // Windows-1252
        {u"\u4E2D", CF_TEXT, std::string("?\0", 2)},                // not in the code page
    };
    for (const Case& c : cases) {
        TextItem item(c.text);
        StgMedium medium;
        ASSERT_EQ(item.getData(request(c.format), medium), S_OK);
        EXPECT_EQ(medium.tymed, TYMED_HGLOBAL);
        EXPECT_EQ(globalBytes(medium.hGlobal), c.bytes) << int(c.format);
        releaseStgMedium(medium);

        // Into the caller's block: exactly big enough works, one byte less does not.
        const GlobalHandle exact = newGlobal(std::string(c.bytes.size(), 'Z'));
        StgMedium here;
        here.hGlobal = exact;
        EXPECT_EQ(item.getDataHere(request(c.format), here), S_OK);
        EXPECT_EQ(globalBytes(exact), c.bytes);
        globalFree(exact);

        const GlobalHandle small = newGlobal(std::string(c.bytes.size() - 1, 'Z'));
        here.hGlobal = small;
        EXPECT_EQ(item.getDataHere(request(c.format), here), E_FAIL);
        EXPECT_EQ(globalBytes(small), std::string(c.bytes.size() - 1, 'Z'));
        globalFree(small);
    }
}

TEST(TextItem, OffersBothTextFormatsOnGlobalMemoryOnly) {
    TextItem item(u"x");
    std::vector<cb::FormatPair> formats;
    item.appendFormats(formats);
    EXPECT_EQ(formats, (std::vector<cb::FormatPair>{{CF_UNICODETEXT, TYMED_HGLOBAL},
                                                    {CF_TEXT, TYMED_HGLOBAL}}));
    StgMedium medium;
    EXPECT_EQ(item.getData(request(CF_TEXT, TYMED_ISTREAM), medium), DV_E_FORMATETC);
    EXPECT_EQ(item.getData(request(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM), medium),
              DV_E_FORMATETC);
    EXPECT_EQ(item.getData(request(CF_LOCALE), medium), DV_E_FORMATETC);
}

TEST(TextItem, OutOfMemoryWhenNoBlockCanBeHad) {
    TextItem item(u"x");
    StgMedium medium;
    failNextGlobalAllocations(1);
    EXPECT_EQ(item.getData(request(CF_UNICODETEXT), medium), E_OUTOFMEMORY);
    EXPECT_EQ(medium.hGlobal, GlobalHandle{});
    failNextGlobalAllocations(0);
}

TEST(TextItem, EqualWhenTheUtf8TextsAreEqual) {
    EXPECT_EQ(TextItem(u"a"), TextItem(u"a"));
    EXPECT_NE(TextItem(u"a"), TextItem(u"b"));
    EXPECT_EQ(TextItem(), TextItem(u""));
}

}  // namespace
