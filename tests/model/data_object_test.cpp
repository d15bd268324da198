// The data object as the ordered container of items and as the source that forwards requests
// to the first item offering them.

#include <gtest/gtest.h>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/item_type.h"
#include "model/text_item.h"
#include "platform/clipboard_formats.h"
#include "test_data_source.h"

namespace {

using namespace platform;
using cb::DataObject;
using cb::FormatPair;
using testing_support::globalBytes;

FormatEtc request(ClipFormat format, uint32_t tymed = TYMED_HGLOBAL) {
    FormatEtc r;
    r.cfFormat = format;
    r.tymed = tymed;
    return r;
}

// The interface takes pointers; a temporary request lives for the whole call.
const FormatEtc* ptr(const FormatEtc& r) { return &r; }

std::unique_ptr<cb::Item> html(std::string_view bytes) {
    return std::make_unique<cb::HtmlItem>(cmn::mblock<char>(bytes));
}
std::unique_ptr<cb::Item> rtf(std::string_view bytes) {
    return std::make_unique<cb::RtfItem>(cmn::mblock<char>(bytes));
}
std::unique_ptr<cb::Item> text(std::u16string_view t) {
    return std::make_unique<cb::TextItem>(t);
}

TEST(DataObject, OffersTheFormatsOfItsItemsInItemOrder) {
    const RegisteredFormats& f = registeredFormats();
    DataObject data;
    data.add(html("<p>"));
    data.add(text(u"t"));
    data.add(rtf("{}"));
    EXPECT_EQ(data.formats(), (std::vector<FormatPair>{{f.html, TYMED_HGLOBAL},
                                                       {CF_UNICODETEXT, TYMED_HGLOBAL},
                                                       {CF_TEXT, TYMED_HGLOBAL},
                                                       {f.rtf, TYMED_HGLOBAL}}));

    Ref<IEnumFormatEtc> formats;
    ASSERT_EQ(data.enumFormatEtc(DATADIR_GET, formats.out()), S_OK);
    FormatEtc got[5];
    uint32_t fetched = 0;
    EXPECT_EQ(formats->next(5, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 4u);
    for (uint32_t i = 0; i < fetched; ++i) {
        EXPECT_EQ(got[i].cfFormat, data.formats()[i].format);
        EXPECT_EQ(got[i].tymed, data.formats()[i].tymed);
        EXPECT_EQ(got[i].dwAspect, DVASPECT_CONTENT);
        EXPECT_EQ(got[i].lindex, -1);
        EXPECT_EQ(got[i].ptd, nullptr);
    }

    IEnumFormatEtc* none = reinterpret_cast<IEnumFormatEtc*>(&data);
    EXPECT_EQ(data.enumFormatEtc(DATADIR_SET, &none), E_NOTIMPL);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(data.enumFormatEtc(DATADIR_GET, nullptr), E_INVALIDARG);
}

TEST(DataObject, TheFirstItemOfferingAPairRendersIt) {
    DataObject data;
    data.add(text(u"first"));
    data.add(html("<p>"));
    data.add(text(u"second"));

    StgMedium medium;
    ASSERT_EQ(data.getData(ptr(request(CF_TEXT)), &medium), S_OK);
    EXPECT_EQ(globalBytes(medium.hGlobal), std::string("first\0", 6));
    releaseStgMedium(medium);

    const GlobalHandle room = globalAlloc(64, true);
    StgMedium here;
    here.hGlobal = room;
    ASSERT_EQ(data.getDataHere(ptr(request(registeredFormats().html)), &here), S_OK);
    EXPECT_EQ(globalBytes(room).substr(0, 4), std::string("<p>\0", 4));
    globalFree(room);

    EXPECT_EQ(data.queryGetData(ptr(request(CF_UNICODETEXT))), S_OK);
    EXPECT_EQ(data.queryGetData(ptr(request(CF_UNICODETEXT, TYMED_ISTREAM))), DV_E_FORMATETC);
    EXPECT_EQ(data.getData(ptr(request(CF_DIB)), &medium), DV_E_FORMATETC);
    EXPECT_EQ(data.getDataHere(ptr(request(CF_DIB)), &here), DV_E_FORMATETC);
    // An item's own failure is passed on as it is.
    data.add(std::make_unique<cb::BitmapItem>());
    EXPECT_EQ(data.getData(ptr(request(CF_DIB)), &medium), E_FAIL);
}

TEST(DataObject, NullArgumentsAreRefused) {
    DataObject data;
    data.add(text(u"x"));
    StgMedium medium;
    const FormatEtc r = request(CF_TEXT);
    EXPECT_EQ(data.queryGetData(nullptr), E_INVALIDARG);
    EXPECT_EQ(data.getData(nullptr, &medium), E_INVALIDARG);
    EXPECT_EQ(data.getData(&r, nullptr), E_INVALIDARG);
    EXPECT_EQ(data.getDataHere(nullptr, &medium), E_INVALIDARG);
    EXPECT_EQ(data.getDataHere(&r, nullptr), E_INVALIDARG);
}

TEST(DataObject, AddInsertTakeOutFindAndRemove) {
    DataObject data;
    data.add(text(u"a"));
    data.add(rtf("r"));
    EXPECT_TRUE(data.insert(1, html("h")));
    EXPECT_TRUE(data.insert(3, text(u"z")));
    EXPECT_FALSE(data.insert(5, text(u"beyond")));
    EXPECT_FALSE(data.insert(0, nullptr));
    ASSERT_EQ(data.count(), 4u);
    EXPECT_EQ(data.at(4), nullptr);

    EXPECT_EQ(data.findFirst<cb::TextItem>()->textUtf8(), "a");
    EXPECT_EQ(data.findFirst<cb::CsvItem>(), nullptr);
    const cb::ItemType& textType = *cb::findTypeByFormat(CF_UNICODETEXT);
    EXPECT_EQ(data.findFirstOf(textType), data.at(0));

    EXPECT_TRUE(data.removeFirstOf(textType));
    EXPECT_EQ(data.findFirst<cb::TextItem>()->textUtf8(), "z");
    EXPECT_FALSE(data.removeFirstOf(*cb::findTypeByFormat(CF_DIB)));

    std::unique_ptr<cb::Item> taken = data.takeOut(0);
    ASSERT_NE(dynamic_cast<cb::HtmlItem*>(taken.get()), nullptr);
    EXPECT_EQ(data.takeOut(7), nullptr);
    ASSERT_EQ(data.count(), 2u);
    EXPECT_NE(dynamic_cast<cb::RtfItem*>(data.at(0)), nullptr);
    EXPECT_NE(dynamic_cast<cb::TextItem*>(data.at(1)), nullptr);
}

TEST(DataObject, ItemsReadThemselvesBackFromADataObject) {
    // What a capture does with another program's data, here with our own.
    DataObject source;
    source.add(html("<i>x</i>"));
    source.add(text(u"caf\u00E9"));
    source.add(std::make_unique<cb::QuilletTagItem>(1, 2, 3));
    for (const auto& original : source.items()) {
        const cb::ItemType* type = cb::findTypeOf(*original);
        ASSERT_NE(type, nullptr);
        auto copy = type->create();
        ASSERT_TRUE(copy->readFrom(source));
        EXPECT_EQ(*copy, *original);
    }
}

TEST(DataObject, ReferencesCountFromOne) {
    auto* data = new DataObject();
    data->add(text(u"x"));
    EXPECT_EQ(data->addRef(), 2u);
    EXPECT_EQ(data->release(), 1u);
    EXPECT_EQ(data->release(), 0u);  // deleted with its item; ASan reports a leak otherwise
}

}  // namespace
