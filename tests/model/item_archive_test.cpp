// The stored form of a data object: its item sequence, each item through a pointer to the
// abstract item class, named by its key the first time its class appears.

#include <gtest/gtest.h>

#include <sstream>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/text_item.h"
#include "persist/archive/archive.h"

namespace {

using cb::DataObject;
using cmn::archive::ArchiveError;
using cmn::archive::Limits;

std::string saved(const DataObject& data) {
    std::ostringstream out;
    cmn::archive::save(data, out);
    return out.str();
}

void load(DataObject& data, const std::string& text) {
    std::istringstream in(text);
    cmn::archive::load(data, in, Limits::forNetwork());
}

cmn::mblock<char> bytes(std::string_view b) { return cmn::mblock<char>(b); }

TEST(ItemArchive, AnEmptyItemSequence) {
    // The data object's preamble, the vector's preamble, the count.
    const std::string expected = "22 serialization::archive 3 0 0 0 0 0\n";
    EXPECT_EQ(saved(DataObject()), expected);
    DataObject back;
    back.add(std::make_unique<cb::TextItem>(u"replaced"));
    load(back, expected);
    EXPECT_EQ(back.count(), 0u);
}

TEST(ItemArchive, ARepeatedClassIsNamedOnlyTheFirstTime) {
    DataObject data;
    data.add(std::make_unique<cb::TextItem>(u"hi"));
    data.add(std::make_unique<cb::TextItem>(u"yo"));
    // DataObject [0] and the vector [1]; the first text item: class id 2, key, tracking 1,
    // version 0, object id 0, text; the second: class id and object id 1, then its text.
    const std::string expected =
        "22 serialization::archive 3 0 0 0 0 2 2 12 cb::TextItem 1 0 0 2 hi 2 1 2 yo\n";
    EXPECT_EQ(saved(data), expected);

    DataObject back;
    load(back, expected);
    ASSERT_EQ(back.count(), 2u);
    EXPECT_EQ(*back.at(0), *data.at(0));
    EXPECT_EQ(*back.at(1), *data.at(1));
}

TEST(ItemArchive, HtmlAndRtfBlocksAsBase64) {
    DataObject data;
    data.add(std::make_unique<cb::HtmlItem>(bytes("<p>")));
    data.add(std::make_unique<cb::RtfItem>(bytes("{\\rtf1}")));
    // "<p>" = 3C 70 3E: 001111 000111 000000 111110 = "PHA+", a multiple of 3 bytes: "=".
    // "{\rtf1}" = 7B 5C 72 | 74 66 31 | 7D: "e1xy" "dGYx" "fQ", 7 bytes: no "=".
    // The block class [3] gets its preamble with the first block only.
    const std::string expected =
        "22 serialization::archive 3 0 0 0 0 2"
        " 2 12 cb::HtmlItem 1 0 0 0 0 3\n\nPHA+=\n"
        "4 11 cb::RtfItem 1 0 1 7\n\ne1xydGYxfQ\n";
    EXPECT_EQ(saved(data), expected);

    DataObject back;
    load(back, expected);
    ASSERT_EQ(back.count(), 2u);
    auto* html = dynamic_cast<cb::HtmlItem*>(back.at(0));
    auto* rtf = dynamic_cast<cb::RtfItem*>(back.at(1));
    ASSERT_TRUE(html && rtf);
    EXPECT_EQ(html->block().view(), "<p>");
    EXPECT_EQ(rtf->block().view(), "{\\rtf1}");
}

TEST(ItemArchive, TheBitmapHoldsItsPngThroughANestedClass) {
    DataObject data;
    auto bitmap = std::make_unique<cb::BitmapItem>();
    bitmap->setBitmap({bytes("abc")});
    data.add(std::move(bitmap));
    // BitmapItem [2] by pointer; wxBitmap [3] and the block [4] by value, each with a preamble.
    const std::string expected =
        "22 serialization::archive 3 0 0 0 0 1 2 14 cb::BitmapItem 1 0 0 0 0 0 0 3\n\nYWJj=\n";
    EXPECT_EQ(saved(data), expected);
    DataObject back;
    load(back, expected);
    ASSERT_EQ(back.count(), 1u);
    EXPECT_EQ(*back.at(0), *data.at(0));
}

TEST(ItemArchive, EveryItemClassComesBackAsItself) {
    DataObject data;
    data.add(std::make_unique<cb::TextItem>(u"t\u00E9xt"));
    data.add(std::make_unique<cb::RtfItem>(bytes("r")));
    data.add(std::make_unique<cb::HtmlItem>(bytes("h")));
    data.add(std::make_unique<cb::CsvItem>(bytes("c")));
    data.add(std::make_unique<cb::FilesItem>(bytes("f")));
    data.add(std::make_unique<cb::LocaleItem>(bytes("l")));
    data.add(std::make_unique<cb::ShellIdList>(bytes("s")));
    data.add(std::make_unique<cb::ShellIdListOffset>(bytes("o")));
    data.add(std::make_unique<cb::PreferredDropEffect>(bytes("d")));
    data.add(std::make_unique<cb::QuilletTagItem>(1, 2, 3));
    data.add(std::make_unique<cb::EnhMetaFileItem>(bytes("m")));
    data.add(std::make_unique<cb::EmbeddedObjectItem>(bytes("e")));
    data.add(std::make_unique<cb::BitmapItem>());
    data.add(std::make_unique<cb::HtmlItem>());
    const std::string text = saved(data);
    for (const char* key :
         {"12 cb::TextItem", "11 cb::RtfItem", "12 cb::HtmlItem", "11 cb::CsvItem",
          "13 cb::FilesItem", "14 cb::LocaleItem", "15 cb::ShellIdList",
          "21 cb::ShellIdListOffset", "23 cb::PreferredDropEffect", "18 cb::QuilletTagItem",
          "19 cb::EnhMetaFileItem", "22 cb::EmbeddedObjectItem", "14 cb::BitmapItem"})
        EXPECT_NE(text.find(key), std::string::npos) << key;

    DataObject back;
    load(back, text);
    ASSERT_EQ(back.count(), data.count());
    for (size_t i = 0; i < data.count(); ++i) EXPECT_EQ(*back.at(i), *data.at(i)) << i;
    EXPECT_EQ(saved(back), text);
}

TEST(ItemArchive, AnUnknownKeyTheAbstractBaseOrANullItemIsAnError) {
    DataObject back;
    EXPECT_THROW(load(back, "22 serialization::archive 3 0 0 0 0 1 2 12 cb::FakeItem 1 0 0 0"),
                 ArchiveError);
    EXPECT_THROW(load(back, "22 serialization::archive 3 0 0 0 0 1 2 8 cb::Item 1 0 0"),
                 ArchiveError);
    EXPECT_THROW(load(back, "22 serialization::archive 3 0 0 0 0 1 2 14 cb::SimpleItem 1 0 0 0"),
                 ArchiveError);
    // A null item: nothing that offers or pastes items expects one.
    EXPECT_THROW(load(back, "22 serialization::archive 3 0 0 0 0 1 -1\n"), ArchiveError);
    EXPECT_THROW(load(back, "22 serialization::archive 3 0 0 0 0 2 2 12 cb::TextItem 1 0 0 2 hi -1\n"),
                 ArchiveError);
    // A text item whose text runs past the end.
    EXPECT_THROW(load(back, "22 serialization::archive 3 0 0 0 0 1 2 12 cb::TextItem 1 0 0 9 ab"),
                 ArchiveError);
    EXPECT_EQ(back.count(), 0u);
}

}  // namespace
