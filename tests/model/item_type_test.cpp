// The item types, their registry and order, and the per-type record and paste options.

#include <gtest/gtest.h>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/item_type.h"
#include "model/text_item.h"
#include "platform/clipboard_formats.h"
#include "platform/text_codec.h"

namespace {

using namespace platform;
using cb::ItemType;
using cb::ItemTypeRegistry;

std::vector<int32_t> idsOf(const ItemTypeRegistry& registry) {
    std::vector<int32_t> ids;
    for (const ItemType* type : registry) ids.push_back(type->typeId());
    return ids;
}

const std::vector<int32_t> kConstructionOrder = {1005, 1008, 1007, 1006, 1009, 1004, 1000,
                                                 1012, 1011, 1010, 1002, 1003, 1001};

TEST(ItemTypes, EachTypeNamesItsClassFormatAndDisplayName) {
    const RegisteredFormats& f = registeredFormats();
    struct Case {
        int32_t id;
        const char* name;
        ClipFormat format;
        std::type_index cls;
    };
    const Case cases[] = {
        {1000, "Quillet Tag", f.quilletTag, typeid(cb::QuilletTagItem)},
        {1001, "Plain Text", CF_UNICODETEXT, typeid(cb::TextItem)},
        {1002, "Locale", CF_LOCALE, typeid(cb::LocaleItem)},
        {1003, "Rich Text Format (RTF)", f.rtf, typeid(cb::RtfItem)},
        {1004, "Html Text", f.html, typeid(cb::HtmlItem)},
        {1005, "Bitmap Picture", CF_DIB, typeid(cb::BitmapItem)},
        {1006, "Metafile Picture", CF_ENHMETAFILE, typeid(cb::EnhMetaFileItem)},
        {1007, "Embedded Object (experimental support)", f.embeddedObject,
         typeid(cb::EmbeddedObjectItem)},
        {1008, "Comma-Separated Values (CSV)", f.csv, typeid(cb::CsvItem)},
        {1009, "Files", CF_HDROP, typeid(cb::FilesItem)},
        {1010, "Shell Id List", f.shellIdList, typeid(cb::ShellIdList)},
        {1011, "Shell ID List Offset", f.shellObjectOffsets, typeid(cb::ShellIdListOffset)},
        {1012, "Preferred Drop Effect", f.preferredDropEffect, typeid(cb::PreferredDropEffect)},
    };
    const ItemTypeRegistry registry = ItemTypeRegistry::standard();
    ASSERT_EQ(registry.count(), 13u);
    for (const Case& c : cases) {
        const ItemType* type = registry.findTypeByFormat(c.format);
        ASSERT_NE(type, nullptr) << c.name;
        EXPECT_EQ(type->typeId(), c.id);
        EXPECT_EQ(utf16ToUtf8(type->displayName()), c.name);
        EXPECT_EQ(type->classId(), c.cls) << c.name;
        EXPECT_EQ(registry.findTypeByClass(c.cls), type) << c.name;
        EXPECT_EQ(type->recordOptionKey(), c.id);
        EXPECT_EQ(type->pasteExclusionKey(), c.id + 1000);

        const auto item = type->create();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(std::type_index(typeid(*item)), c.cls) << c.name;
        std::vector<cb::FormatPair> formats;
        item->appendFormats(formats);
        bool offersItsFormat = false;
        for (const auto& pair : formats) offersItsFormat |= pair.format == c.format;
        EXPECT_TRUE(offersItsFormat) << c.name;
    }
}

TEST(ItemTypes, CreatedItemsAreEmptyExceptTheTag) {
    const ItemTypeRegistry registry = ItemTypeRegistry::standard();
    EXPECT_EQ(static_cast<cb::TextItem&>(*registry.findTypeByFormat(CF_UNICODETEXT)->create())
                  .textUtf8(),
              "");
    EXPECT_TRUE(
        static_cast<cb::BitmapItem&>(*registry.findTypeByFormat(CF_DIB)->create()).png().empty());
    EXPECT_TRUE(static_cast<cb::SimpleItem&>(*registry.findTypeByFormat(CF_HDROP)->create())
                    .block()
                    .empty());
    EXPECT_EQ(static_cast<cb::SimpleItem&>(
                  *registry.findTypeByFormat(registeredFormats().quilletTag)->create())
                  .block()
                  .size(),
              12u);
}

TEST(ItemTypes, TheSubstituteFormatsHaveNoType) {
    EXPECT_EQ(cb::findTypeByFormat(CF_TEXT), nullptr);
    EXPECT_EQ(cb::findTypeByFormat(CF_BITMAP), nullptr);
    EXPECT_EQ(cb::findTypeByFormat(registeredFormats().clipboardViewerIgnore), nullptr);
    EXPECT_EQ(cb::findTypeByClass(typeid(cb::SimpleItem)), nullptr);
}

TEST(ItemTypes, TheRegistryStartsInConstructionOrderAndSortsById) {
    ItemTypeRegistry registry = ItemTypeRegistry::standard();
    EXPECT_EQ(idsOf(registry), kConstructionOrder);
    registry.sortTypesById();
    EXPECT_EQ(idsOf(registry), (std::vector<int32_t>{1000, 1001, 1002, 1003, 1004, 1005, 1006,
                                                     1007, 1008, 1009, 1010, 1011, 1012}));
}

// The Formats page lists the types it lets the user switch, in the registry's order.
std::vector<std::string> formatsPage(const ItemTypeRegistry& registry) {
    const RegisteredFormats& f = registeredFormats();
    std::vector<std::string> names;
    for (const ItemType* type : registry) {
        const ClipFormat format = type->format();
        if (format == f.quilletTag || format == CF_LOCALE || format == f.shellObjectOffsets ||
            format == f.shellIdList || format == f.preferredDropEffect)
            continue;
        names.push_back(utf16ToUtf8(type->displayName()));
    }
    return names;
}

TEST(ItemTypes, TheProcessRegistryIsSortedOnceForGood) {
    // The only test that sorts the process-wide registry.
    EXPECT_EQ(idsOf(cb::itemTypes()), kConstructionOrder);
    EXPECT_EQ(formatsPage(cb::itemTypes()),
              (std::vector<std::string>{"Bitmap Picture", "Comma-Separated Values (CSV)",
                                        "Embedded Object (experimental support)",
                                        "Metafile Picture", "Files", "Html Text",
                                        "Rich Text Format (RTF)", "Plain Text"}));
    cb::sortTypesById();
    EXPECT_EQ(formatsPage(cb::itemTypes()),
              (std::vector<std::string>{"Plain Text", "Rich Text Format (RTF)", "Html Text",
                                        "Bitmap Picture", "Metafile Picture",
                                        "Embedded Object (experimental support)",
                                        "Comma-Separated Values (CSV)", "Files"}));
    EXPECT_EQ(cb::findTypeOf(cb::TextItem())->typeId(), 1001);
}

TEST(ItemTypeOptions, RecordAndPasteFlagsLiveUnderTheirKeys) {
    cmn::option<int> options;
    const ItemType& rtf = *cb::findTypeByFormat(registeredFormats().rtf);

    EXPECT_TRUE(cb::isPasted(rtf.format(), options)) << "never written means pasted";
    EXPECT_FALSE(cb::isRecorded(rtf.format(), options));
    EXPECT_FALSE(cb::isPasted(CF_TEXT, options)) << "no type, not pasted";
    EXPECT_FALSE(cb::isRecorded(CF_TEXT, options));

    cb::setRecorded(rtf, true, options);
    cb::setPasted(rtf, false, options);
    ASSERT_NE(options.text(1003), nullptr);
    EXPECT_EQ(*options.text(1003), "1");
    ASSERT_NE(options.text(2003), nullptr);
    EXPECT_EQ(*options.text(2003), "1") << "the exclusion holds the negation";
    EXPECT_TRUE(cb::isRecorded(rtf.format(), options));
    EXPECT_FALSE(cb::isPasted(rtf.format(), options));

    cb::setPasted(rtf, true, options);
    EXPECT_EQ(*options.text(2003), "0");
    EXPECT_TRUE(cb::isPasted(rtf.format(), options));

    options.setText(2003, "");
    EXPECT_TRUE(cb::isPasted(rtf.format(), options)) << "empty text reads as absent";
    cb::setRecorded(rtf, false, options);
    EXPECT_FALSE(cb::isRecorded(rtf.format(), options));
    EXPECT_EQ(options.entries().size(), 2u) << "other types' options untouched";
}

}  // namespace
