// Result codes, releasing media, and the standard format enumerator.

#include <gtest/gtest.h>

#include "platform/data_transfer.h"
#include "platform/structured_storage.h"

namespace {

using namespace platform;

TEST(DataTransfer, ResultCodesHaveTheirDocumentedValues) {
    const std::pair<HResult, uint32_t> codes[] = {
        {S_OK, 0x00000000},
        {S_FALSE, 0x00000001},
        {E_NOTIMPL, 0x80004001},
        {E_NOINTERFACE, 0x80004002},
        {E_FAIL, 0x80004005},
        {E_OUTOFMEMORY, 0x8007000E},
        {E_INVALIDARG, 0x80070057},
        {DV_E_FORMATETC, 0x80040064},
        {DATA_S_SAMEFORMATETC, 0x00040130},
        {OLE_E_ADVISENOTSUPPORTED, 0x80040003},
    };
    for (const auto& [code, bits] : codes) EXPECT_EQ(static_cast<uint32_t>(code), bits);
    EXPECT_TRUE(failed(E_FAIL));
    EXPECT_TRUE(succeeded(S_FALSE));
    EXPECT_TRUE(succeeded(DATA_S_SAMEFORMATETC));
    EXPECT_EQ(TYMED_HGLOBAL, 1u);
    EXPECT_EQ(TYMED_ISTREAM, 4u);
    EXPECT_EQ(TYMED_ISTORAGE, 8u);
    EXPECT_EQ(TYMED_GDI, 16u);
    EXPECT_EQ(TYMED_ENHMF, 64u);
    EXPECT_EQ(DVASPECT_CONTENT, 1u);
}

// Counts the references released on it.
class Counted final : public Unknown {
public:
    uint32_t addRef() override { return ++refs; }
    uint32_t release() override { return --refs; }
    uint32_t refs = 1;
};

TEST(DataTransfer, ReleasingAMediumFreesWhatItHolds) {
    const size_t blocks = globalBlockCount();
    const size_t bitmaps = deviceBitmapCount();
    const size_t metafiles = enhMetaFileCount();

    StgMedium global;
    global.tymed = TYMED_HGLOBAL;
    global.hGlobal = globalAlloc(4);
    releaseStgMedium(global);
    EXPECT_EQ(globalBlockCount(), blocks);
    EXPECT_EQ(global.tymed, TYMED_NULL);
    EXPECT_EQ(global.hGlobal, GlobalHandle{});

    StgMedium metafile;
    metafile.tymed = TYMED_ENHMF;
    metafile.hEnhMetaFile = setEnhMetaFileBits(3, "abc");
    releaseStgMedium(metafile);
    EXPECT_EQ(enhMetaFileCount(), metafiles);

    BitmapInfoHeader h;
    h.biWidth = 1;
    h.biHeight = 1;
    h.biBitCount = 32;
    const unsigned char pixel[4] = {1, 2, 3, 4};
    StgMedium bitmap;
    bitmap.tymed = TYMED_GDI;
    bitmap.hBitmap = createDIBitmap(h, {}, pixel);
    ASSERT_NE(bitmap.hBitmap, BitmapHandle{});
    releaseStgMedium(bitmap);
    EXPECT_EQ(deviceBitmapCount(), bitmaps);

    Storage* storage = nullptr;
    ASSERT_EQ(Storage::createInMemory(&storage), S_OK);
    storage->addRef();
    StgMedium stg;
    stg.tymed = TYMED_ISTORAGE;
    stg.pstg = storage;
    releaseStgMedium(stg);
    EXPECT_EQ(storage->release(), 0u) << "the medium gave back its one reference";
}

TEST(DataTransfer, AReleaseOwnerKeepsTheHandle) {
    Counted owner;
    StgMedium medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = globalAlloc(4);
    const GlobalHandle h = medium.hGlobal;
    medium.pUnkForRelease = &owner;
    releaseStgMedium(medium);
    EXPECT_EQ(owner.refs, 0u);
    EXPECT_EQ(globalSize(h), 4u) << "still alive: the owner frees it";
    globalFree(h);
}

std::vector<FormatEtc> threeEntries() {
    std::vector<FormatEtc> entries(3);
    for (int i = 0; i < 3; ++i) {
        entries[i].cfFormat = static_cast<ClipFormat>(10 + i);
        entries[i].tymed = TYMED_HGLOBAL;
    }
    return entries;
}

TEST(StdEnumFormatEtc, NextSkipResetAndClone) {
    const auto entries = threeEntries();
    Ref<IEnumFormatEtc> e;
    ASSERT_EQ(createStdEnumFormatEtc(entries, e.out()), S_OK);

    FormatEtc got[4];
    uint32_t fetched = 99;
    EXPECT_EQ(e->next(0, got, &fetched), E_INVALIDARG);
    EXPECT_EQ(e->next(1, nullptr, &fetched), E_INVALIDARG);
    EXPECT_EQ(e->next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, 10);
    EXPECT_EQ(e->next(1, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0].cfFormat, 11);

    Ref<IEnumFormatEtc> copy;
    ASSERT_EQ(e->clone(copy.out()), S_OK);
    EXPECT_EQ(copy->next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, 12) << "a clone goes on where the original stood";
    EXPECT_EQ(e->clone(nullptr), E_INVALIDARG);

    EXPECT_EQ(e->skip(2), S_FALSE);
    EXPECT_EQ(e->skip(1), S_OK) << "exactly what is left";
    fetched = 99;
    EXPECT_EQ(e->next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(e->reset(), S_OK);
    EXPECT_EQ(e->next(4, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(got[2].cfFormat, 12);
}

}  // namespace
