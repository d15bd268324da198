// Our data object and its format enumerator answer every call of the data-transfer contract as
// other programs expect, and count their references as the desktop's objects do.

#include <gtest/gtest.h>

#include "model/block_items.h"
#include "model/data_object.h"
#include "model/enum_format_etc.h"
#include "model/text_item.h"
#include "platform/clipboard_formats.h"

namespace {

using namespace platform;
using cb::DataObject;
using cb::EnumFormatEtc;

// An item that reports its own destruction, so a test can see who deletes the data object.
class ProbeItem final : public cb::Item {
public:
    explicit ProbeItem(bool& destroyed) : destroyed_(destroyed) {}
    ~ProbeItem() override { destroyed_ = true; }
    void appendFormats(std::vector<cb::FormatPair>& formats) const override {
        formats.push_back({CF_LOCALE, TYMED_HGLOBAL});
    }
    HResult getData(const FormatEtc&, StgMedium&) const override { return E_FAIL; }
    HResult getDataHere(const FormatEtc&, StgMedium&) const override { return E_FAIL; }
    bool readFrom(IDataObject&) override { return false; }

protected:
    bool sameData(const cb::Item&) const override { return true; }

private:
    bool& destroyed_;
};

// A data object offering html, text (two pairs) and rtf: four pairs.
DataObject* fourPairs() {
    auto* data = new DataObject();
    data->add(std::make_unique<cb::HtmlItem>(cmn::mblock<char>(std::string_view("<b>"))));
    data->add(std::make_unique<cb::TextItem>(u"t"));
    data->add(std::make_unique<cb::RtfItem>(cmn::mblock<char>(std::string_view("{}"))));
    return data;
}

Ref<IEnumFormatEtc> enumerate(DataObject& data) {
    Ref<IEnumFormatEtc> e;
    EXPECT_EQ(data.enumFormatEtc(DATADIR_GET, e.out()), S_OK);
    return e;
}

TEST(SimpleUnknown, AnswersForItsInterfaceAndIUnknownOnlyAndDeletesAtTheLastRelease) {
    bool destroyed = false;
    auto* data = new DataObject();
    data->add(std::make_unique<ProbeItem>(destroyed));
    EXPECT_EQ(data->referenceCount(), 1u);

    void* out = nullptr;
    EXPECT_EQ(data->queryInterface(IID_IDataObject, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDataObject*>(data));
    EXPECT_EQ(data->queryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<Unknown*>(data));
    EXPECT_EQ(data->referenceCount(), 3u);
    out = data;
    EXPECT_EQ(data->queryInterface(IID_IEnumFORMATETC, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(data->queryInterface(IID_IDataObject, nullptr), E_INVALIDARG);

    EXPECT_EQ(data->addRef(), 4u);
    EXPECT_EQ(data->release(), 3u);
    EXPECT_EQ(data->release(), 2u);
    EXPECT_EQ(data->release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(data->release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(DataObjectContract, TheCallsThatRenderNothingAnswerAsTheContractSays) {
    DataObject data;
    data.add(std::make_unique<cb::TextItem>(u"x"));

    FormatEtc in;
    in.cfFormat = CF_TEXT;
    int device = 0;
    in.ptd = &device;
    in.dwAspect = 4;
    in.lindex = 3;
    in.tymed = TYMED_HGLOBAL;
    FormatEtc out;
    EXPECT_EQ(data.getCanonicalFormatEtc(&in, &out), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(out.cfFormat, CF_TEXT);
    EXPECT_EQ(out.tymed, TYMED_HGLOBAL);
    EXPECT_EQ(out.ptd, nullptr);
    EXPECT_EQ(out.lindex, -1);
    EXPECT_EQ(out.dwAspect, DVASPECT_CONTENT);
    EXPECT_EQ(data.getCanonicalFormatEtc(&in, nullptr), E_INVALIDARG);
    EXPECT_EQ(data.getCanonicalFormatEtc(nullptr, &out), E_INVALIDARG);

    StgMedium medium;
    EXPECT_EQ(data.setData(&in, &medium, false), E_NOTIMPL);
    uint32_t connection = 0;
    EXPECT_EQ(data.dAdvise(&in, 0, nullptr, &connection), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(data.dUnadvise(1), E_NOTIMPL);
    Unknown* advises = &data;
    EXPECT_EQ(data.enumDAdvise(&advises), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(advises, nullptr);

    IEnumFormatEtc* none = reinterpret_cast<IEnumFormatEtc*>(&data);
    EXPECT_EQ(data.enumFormatEtc(DATADIR_SET, &none), E_NOTIMPL);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(data.enumFormatEtc(DATADIR_GET, nullptr), E_INVALIDARG);
}

TEST(DataObjectContract, ARequestMatchesOnlyTheExactMedium) {
    DataObject data;
    data.add(std::make_unique<cb::TextItem>(u"x"));
    FormatEtc request;
    request.cfFormat = CF_UNICODETEXT;
    request.tymed = TYMED_HGLOBAL;
    EXPECT_EQ(data.queryGetData(&request), S_OK);
    // A reader that would take either of two media still does not match a single offer.
    request.tymed = TYMED_HGLOBAL | TYMED_ISTREAM;
    EXPECT_EQ(data.queryGetData(&request), DV_E_FORMATETC);
    StgMedium medium;
    EXPECT_EQ(data.getData(&request, &medium), DV_E_FORMATETC);
    EXPECT_EQ(data.getDataHere(&request, &medium), DV_E_FORMATETC);
}

struct NextCase {
    const char* name;
    size_t skipFirst;
    uint32_t count;
    bool withArray;
    bool withFetched;
    HResult result;
    uint32_t fetched;  // as reported, when asked for
    size_t positionAfter;
};

TEST(EnumFormatEtcContract, NextAnswersEveryCaseOfTheTable) {
    const NextCase cases[] = {
        {"count 0", 0, 0, true, true, E_INVALIDARG, 99, 0},
        {"no array", 0, 1, false, true, E_INVALIDARG, 99, 0},
        {"at the end", 4, 1, true, true, S_FALSE, 0, 4},
        {"at the end, no fetched", 4, 2, true, false, S_FALSE, 99, 4},
        {"several without fetched", 0, 2, true, false, E_INVALIDARG, 99, 0},
        {"one without fetched", 0, 1, true, false, S_OK, 99, 1},
        {"all there", 1, 3, true, true, S_OK, 3, 4},
        {"fewer left", 2, 5, true, true, S_FALSE, 2, 4},
    };
    for (const NextCase& c : cases) {
        Ref<DataObject> data(fourPairs());
        Ref<IEnumFormatEtc> e = enumerate(*data);
        ASSERT_EQ(e->skip(static_cast<uint32_t>(c.skipFirst)), S_OK) << c.name;
        FormatEtc got[5];
        uint32_t fetched = 99;
        EXPECT_EQ(e->next(c.count, c.withArray ? got : nullptr, c.withFetched ? &fetched : nullptr),
                  c.result)
            << c.name;
        EXPECT_EQ(fetched, c.fetched) << c.name;
        EXPECT_EQ(static_cast<EnumFormatEtc*>(e.get())->position(), c.positionAfter) << c.name;
    }
}

TEST(EnumFormatEtcContract, EntriesAreThePairsInItemOrderForTheWholeContent) {
    Ref<DataObject> data(fourPairs());
    Ref<IEnumFormatEtc> e = enumerate(*data);
    FormatEtc got[4];
    uint32_t fetched = 0;
    ASSERT_EQ(e->next(4, got, &fetched), S_OK);
    const RegisteredFormats& f = registeredFormats();
    const ClipFormat expected[] = {f.html, CF_UNICODETEXT, CF_TEXT, f.rtf};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(got[i].cfFormat, expected[i]);
        EXPECT_EQ(got[i].tymed, TYMED_HGLOBAL);
        EXPECT_EQ(got[i].ptd, nullptr);
        EXPECT_EQ(got[i].dwAspect, DVASPECT_CONTENT);
        EXPECT_EQ(got[i].lindex, -1);
    }
    // A snapshot: items added later are not listed.
    data->add(std::make_unique<cb::CsvItem>());
    ASSERT_EQ(e->reset(), S_OK);
    EXPECT_EQ(e->next(5, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 4u);
}

TEST(EnumFormatEtcContract, SkipMovesOnlyWhenThatManyAreLeft) {
    Ref<DataObject> data(fourPairs());
    Ref<IEnumFormatEtc> e = enumerate(*data);
    auto position = [&] { return static_cast<EnumFormatEtc*>(e.get())->position(); };
    ASSERT_EQ(e->skip(1), S_OK);
    EXPECT_EQ(e->skip(4), S_FALSE);
    EXPECT_EQ(position(), 1u);
    EXPECT_EQ(e->skip(0xFFFFFFFFu), S_FALSE);  // never wraps around
    EXPECT_EQ(position(), 1u);
    EXPECT_EQ(e->skip(3), S_OK);
    EXPECT_EQ(position(), 4u);
    FormatEtc got;
    uint32_t fetched = 5;
    EXPECT_EQ(e->next(1, &got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->reset(), S_OK);
    EXPECT_EQ(position(), 0u);
}

TEST(EnumFormatEtcContract, ACloneGoesOnWhereTheOriginalStoodAndBothKeepTheDataAlive) {
    bool destroyed = false;
    DataObject* data = fourPairs();
    data->add(std::make_unique<ProbeItem>(destroyed));
    Ref<IEnumFormatEtc> e = enumerate(*data);
    EXPECT_EQ(data->referenceCount(), 2u);
    FormatEtc got[2];
    uint32_t fetched = 0;
    ASSERT_EQ(e->next(2, got, &fetched), S_OK);

    Ref<IEnumFormatEtc> copy;
    EXPECT_EQ(e->clone(nullptr), E_INVALIDARG);
    ASSERT_EQ(e->clone(copy.out()), S_OK);
    EXPECT_EQ(static_cast<EnumFormatEtc*>(copy.get())->referenceCount(), 1u);
    EXPECT_EQ(data->referenceCount(), 3u);
    ASSERT_EQ(copy->next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, CF_TEXT);  // the third pair

    data->release();
    e.reset();
    EXPECT_FALSE(destroyed);
    ASSERT_EQ(copy->next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, registeredFormats().rtf);
    copy.reset();
    EXPECT_TRUE(destroyed);
}

}  // namespace
