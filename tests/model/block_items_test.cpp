// The block items: each keeps its format's bytes as the source handed them over. The tag item
// always takes exactly 12 bytes.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "model/block_items.h"
#include "platform/clipboard_formats.h"
#include "platform/process.h"
#include "test_data_source.h"

namespace {

using namespace platform;
using testing_support::globalBytes;
using testing_support::newGlobal;
using testing_support::TestDataSource;

struct BlockClass {
    const char* name;
    std::function<std::unique_ptr<cb::SimpleItem>()> make;
    ClipFormat format;
};

std::vector<BlockClass> blockClasses() {
    const RegisteredFormats& f = registeredFormats();
    return {
        {"rtf", [] { return std::make_unique<cb::RtfItem>(); }, f.rtf},
        {"html", [] { return std::make_unique<cb::HtmlItem>(); }, f.html},
        {"csv", [] { return std::make_unique<cb::CsvItem>(); }, f.csv},
        {"files", [] { return std::make_unique<cb::FilesItem>(); }, CF_HDROP},
        {"locale", [] { return std::make_unique<cb::LocaleItem>(); }, CF_LOCALE},
        {"shell id list", [] { return std::make_unique<cb::ShellIdList>(); }, f.shellIdList},
        {"shell offsets", [] { return std::make_unique<cb::ShellIdListOffset>(); },
         f.shellObjectOffsets},
        {"drop effect", [] { return std::make_unique<cb::PreferredDropEffect>(); },
         f.preferredDropEffect},
    };
}

FormatEtc request(ClipFormat format, uint32_t tymed = TYMED_HGLOBAL) {
    FormatEtc r;
    r.cfFormat = format;
    r.tymed = tymed;
    return r;
}

TEST(BlockItems, EachReadsAndRendersItsOwnFormatVerbatim) {
    const std::string bytes("\x01\x00\xFFpayload\x00", 11);
    for (const BlockClass& c : blockClasses()) {
        auto item = c.make();
        EXPECT_EQ(item->format(), c.format) << c.name;
        EXPECT_TRUE(item->block().empty()) << c.name;
        std::vector<cb::FormatPair> formats;
        item->appendFormats(formats);
        EXPECT_EQ(formats, (std::vector<cb::FormatPair>{{c.format, TYMED_HGLOBAL}})) << c.name;

        TestDataSource source;
        source.offerGlobal(c.format, bytes);
        const size_t blocks = globalBlockCount();
        ASSERT_TRUE(item->readFrom(source)) << c.name;
        EXPECT_EQ(globalBlockCount(), blocks) << c.name;
        EXPECT_EQ(item->block().view(), bytes) << c.name;

        StgMedium medium;
        ASSERT_EQ(item->getData(request(c.format), medium), S_OK) << c.name;
        EXPECT_EQ(globalBytes(medium.hGlobal), bytes) << c.name;
        releaseStgMedium(medium);
    }
}

TEST(BlockItems, ReadFailsWithoutTheFormatAndKeepsTheOldBlock) {
    for (const BlockClass& c : blockClasses()) {
        auto item = c.make();
        item->setBlock(cmn::mblock<char>(std::string_view("old")));
        TestDataSource other;
        other.offerGlobal(static_cast<ClipFormat>(c.format + 1), "new");
        EXPECT_FALSE(item->readFrom(other)) << c.name;
        TestDataSource wrongMedium;
        wrongMedium.offerWrongMedium(c.format, TYMED_HGLOBAL, TYMED_ISTORAGE);
        EXPECT_FALSE(item->readFrom(wrongMedium)) << c.name;
        EXPECT_EQ(item->block().view(), "old") << c.name;
    }
}

TEST(BlockItems, RenderIntoTheCallersBlockNeedsRoomForTheWholeBlock) {
    cb::HtmlItem item(cmn::mblock<char>(std::string_view("<b>x</b>")));
    const ClipFormat html = registeredFormats().html;
    const GlobalHandle bigger = newGlobal("................");
    StgMedium here;
    here.hGlobal = bigger;
    EXPECT_EQ(item.getDataHere(request(html), here), S_OK);
    EXPECT_EQ(globalBytes(bigger), "<b>x</b>........");
    globalFree(bigger);

    const GlobalHandle small = newGlobal("1234567");
    here.hGlobal = small;
    EXPECT_EQ(item.getDataHere(request(html), here), E_FAIL);
    EXPECT_EQ(globalBytes(small), "1234567");
    globalFree(small);

    EXPECT_EQ(item.getDataHere(request(html, TYMED_ISTORAGE), here), DV_E_FORMATETC);
}

TEST(BlockItems, EqualOnlyForTheSameClassAndTheSameBytes) {
    const cmn::mblock<char> a(std::string_view("same"));
    EXPECT_EQ(cb::RtfItem(a), cb::RtfItem(a));
    EXPECT_NE(cb::RtfItem(a), cb::RtfItem(cmn::mblock<char>(std::string_view("samE"))));
    EXPECT_NE(cb::RtfItem(a), cb::RtfItem(cmn::mblock<char>(std::string_view("sam"))));
    EXPECT_NE(static_cast<const cb::Item&>(cb::RtfItem(a)),
              static_cast<const cb::Item&>(cb::CsvItem(a)));
}

std::string tagBytes(uint32_t a, uint32_t b, uint32_t c) {
    std::string out;
    for (uint32_t v : {a, b, c})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

TEST(QuilletTagItem, ANewTagNamesOnlyThisProcess) {
    cb::QuilletTagItem tag;
    EXPECT_EQ(tag.block().view(), tagBytes(0, 0, currentProcessId()));
    EXPECT_EQ(tag.format(), registeredFormats().quilletTag);

    cb::QuilletTagItem filled(0x01020304, 0xA0B0C0D0, 77);
    EXPECT_EQ(filled.block().view(),
              std::string("\x04\x03\x02\x01\xD0\xC0\xB0\xA0\x4D\x00\x00\x00", 12));
    EXPECT_EQ(filled.record(), 0x01020304u);
    EXPECT_EQ(filled.list(), 0xA0B0C0D0u);
    EXPECT_EQ(filled.processId(), 77u);
}

TEST(QuilletTagItem, ReadsExactlyTwelveBytes) {
    const ClipFormat format = registeredFormats().quilletTag;
    struct Case {
        std::string block;
        bool ok;
        std::string kept;
    };
    const std::string sixteen = tagBytes(5, 6, 7) + "tail";
    const Case cases[] = {
        {sixteen, true, tagBytes(5, 6, 7)},
        {tagBytes(8, 9, 10), true, tagBytes(8, 9, 10)},
        {std::string("\x01\x02\x03\x04", 4), false, tagBytes(1, 2, 3)},
        {tagBytes(8, 9, 10).substr(0, 11), false, tagBytes(1, 2, 3)},
    };
    for (const Case& c : cases) {
        cb::QuilletTagItem tag(1, 2, 3);
        TestDataSource source;
        source.offerGlobal(format, c.block);
        EXPECT_EQ(tag.readFrom(source), c.ok) << c.block.size();
        EXPECT_EQ(tag.block().view(), c.kept) << c.block.size();
    }
}

TEST(QuilletTagItem, AShortStoredBlockReadsAsZeroFields) {
    cb::QuilletTagItem tag;
    tag.setBlock(cmn::mblock<char>(std::string_view("\x09\x00\x00\x00\x01", 5)));
    EXPECT_EQ(tag.record(), 9u);
    EXPECT_EQ(tag.list(), 0u);
    EXPECT_EQ(tag.processId(), 0u);
}

}  // namespace
