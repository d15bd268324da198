// The results of getData and getDataHere for every item class and the pairs around its offers,
// and the first steps every rendering takes.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/text_item.h"
#include "platform/clipboard_formats.h"
#include "platform/structured_storage.h"
#include "test_data_source.h"

namespace {

using namespace platform;
using testing_support::TestDataSource;

std::unique_ptr<cb::Item> filledBitmap() {
    BitmapInfoHeader h;
    h.biWidth = 1;
    h.biHeight = 1;
    h.biBitCount = 24;
    std::vector<unsigned char> dib(44, 0x7F);
    h.write(dib.data());
    auto item = std::make_unique<cb::BitmapItem>();
    EXPECT_TRUE(item->setFromPackedDib(dib.data(), dib.size()));
    return item;
}

std::unique_ptr<cb::Item> filledEmbeddedObject() {
    TestDataSource source;
    source.offerStorage(registeredFormats().embeddedObject, {{"CONTENTS", "x"}});
    auto item = std::make_unique<cb::EmbeddedObjectItem>();
    EXPECT_TRUE(item->readFrom(source));
    return item;
}

template <class T>
std::unique_ptr<cb::Item> block(std::string_view bytes) {
    return std::make_unique<T>(cmn::mblock<char>(bytes));
}

struct Row {
    const char* item;
    std::function<std::unique_ptr<cb::Item>()> make;
    ClipFormat format;
    uint32_t tymed;
    HResult getData;
    HResult getDataHere;
};

std::vector<Row> rows() {
    const RegisteredFormats& f = registeredFormats();
    const auto text = [] { return std::make_unique<cb::TextItem>(u"text"); };
    const auto emptyBitmap = [] { return std::make_unique<cb::BitmapItem>(); };
    const auto metafile = [] { return block<cb::EnhMetaFileItem>("metafile bits"); };
    std::vector<Row> table = {
        {"text", text, CF_UNICODETEXT, TYMED_HGLOBAL, S_OK, S_OK},
        {"text", text, CF_TEXT, TYMED_HGLOBAL, S_OK, S_OK},
        {"text", text, CF_TEXT, TYMED_ISTREAM, DV_E_FORMATETC, DV_E_FORMATETC},
        {"text", text, CF_UNICODETEXT, TYMED_HGLOBAL | TYMED_ISTREAM, DV_E_FORMATETC,
         DV_E_FORMATETC},
        {"text", text, CF_LOCALE, TYMED_HGLOBAL, DV_E_FORMATETC, DV_E_FORMATETC},
        {"bitmap", filledBitmap, CF_BITMAP, TYMED_GDI, S_OK, DV_E_FORMATETC},
        {"bitmap", filledBitmap, CF_DIB, TYMED_HGLOBAL, S_OK, S_OK},
        {"bitmap", filledBitmap, CF_DIB, TYMED_GDI, DV_E_FORMATETC, DV_E_FORMATETC},
        {"bitmap", filledBitmap, CF_BITMAP, TYMED_HGLOBAL, DV_E_FORMATETC, DV_E_FORMATETC},
        {"empty bitmap", emptyBitmap, CF_BITMAP, TYMED_GDI, E_FAIL, DV_E_FORMATETC},
        {"empty bitmap", emptyBitmap, CF_DIB, TYMED_HGLOBAL, E_FAIL, E_FAIL},
        {"metafile", metafile, CF_ENHMETAFILE, TYMED_ENHMF, S_OK, E_NOTIMPL},
        {"metafile", metafile, CF_ENHMETAFILE, TYMED_HGLOBAL, DV_E_FORMATETC, E_NOTIMPL},
        {"embedded object", filledEmbeddedObject, f.embeddedObject, TYMED_ISTORAGE, S_OK, S_OK},
        {"embedded object", filledEmbeddedObject, f.embeddedObject, TYMED_HGLOBAL,
         DV_E_FORMATETC, DV_E_FORMATETC},
    };
    struct Simple {
        const char* name;
        std::function<std::unique_ptr<cb::Item>()> make;
        ClipFormat format;
    };
    const Simple simple[] = {
        {"rtf", [] { return block<cb::RtfItem>("{\\rtf1}"); }, f.rtf},
        {"html", [] { return block<cb::HtmlItem>("<p>"); }, f.html},
        {"csv", [] { return block<cb::CsvItem>("a,b"); }, f.csv},
        {"files", [] { return block<cb::FilesItem>("drop files"); }, CF_HDROP},
        {"locale", [] { return block<cb::LocaleItem>("\x09\x04"); }, CF_LOCALE},
        {"shell id list", [] { return block<cb::ShellIdList>("ids"); }, f.shellIdList},
        {"shell offsets", [] { return block<cb::ShellIdListOffset>("offs"); }, f.shellObjectOffsets},
        {"drop effect", [] { return block<cb::PreferredDropEffect>("\x05"); },
         f.preferredDropEffect},
        {"tag", [] { return std::make_unique<cb::QuilletTagItem>(); }, f.quilletTag},
    };
    for (const Simple& s : simple) {
        table.push_back({s.name, s.make, s.format, TYMED_HGLOBAL, S_OK, S_OK});
        table.push_back({s.name, s.make, s.format, TYMED_ISTORAGE, DV_E_FORMATETC, DV_E_FORMATETC});
        table.push_back({s.name, s.make, static_cast<ClipFormat>(s.format ^ 0x100), TYMED_HGLOBAL,
                         DV_E_FORMATETC, DV_E_FORMATETC});
    }
    return table;
}

// A release owner the renderings must clear before doing anything else.
class Owner final : public Unknown {
public:
    uint32_t addRef() override { return 2; }
    uint32_t release() override { return 1; }
};

TEST(ItemResults, GetDataAndGetDataHerePerClass) {
    Owner owner;
    for (const Row& row : rows()) {
        const auto item = row.make();
        FormatEtc request;
        request.cfFormat = row.format;
        request.tymed = row.tymed;
        const std::string what = std::string(row.item) + " format " + std::to_string(row.format) +
                                 " tymed " + std::to_string(row.tymed);

        StgMedium medium;
        medium.tymed = 0x5555;
        medium.pUnkForRelease = &owner;
        EXPECT_EQ(item->getData(request, medium), row.getData) << what;
        EXPECT_EQ(medium.pUnkForRelease, nullptr) << what;
        EXPECT_EQ(medium.tymed, row.tymed) << what;
        if (succeeded(row.getData)) releaseStgMedium(medium);

        // The caller's medium has room enough for anything in this table.
        const GlobalHandle room = globalAlloc(1 << 16, true);
        Ref<Storage> storage;
        Storage::createInMemory(storage.out());
        StgMedium here;
        here.tymed = 0x5555;
        here.pUnkForRelease = &owner;
        here.hGlobal = room;
        here.pstg = storage.get();
        EXPECT_EQ(item->getDataHere(request, here), row.getDataHere) << what;
        EXPECT_EQ(here.pUnkForRelease, nullptr) << what;
        EXPECT_EQ(here.tymed, row.tymed) << what;
        globalFree(room);
    }
}

TEST(ItemResults, OffersAreWhatTheRequestsMatch) {
    for (const Row& row : rows()) {
        FormatEtc request;
        request.cfFormat = row.format;
        request.tymed = row.tymed;
        const bool offered = row.getData != DV_E_FORMATETC;
        EXPECT_EQ(row.make()->offers(request), offered)
            << row.item << " " << row.format << " " << row.tymed;
    }
}

}  // namespace
