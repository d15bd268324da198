// The enhanced metafile item and the embedded object item.

#include <gtest/gtest.h>

#include "model/data_object.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "platform/clipboard_formats.h"
#include "platform/structured_storage.h"
#include "test_data_source.h"

namespace {

using namespace platform;
using testing_support::TestDataSource;

FormatEtc request(ClipFormat format, uint32_t tymed) {
    FormatEtc r;
    r.cfFormat = format;
    r.tymed = tymed;
    return r;
}

std::string streamOf(Storage& storage, const std::string& name) {
    std::vector<unsigned char> bytes;
    if (failed(storage.readStream(name, bytes))) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

TEST(EnhMetaFileItem, KeepsTheMetafileBytesAndRendersANewMetafile) {
    const std::string bits("\x01\x00\x00\x00 EMF metafile bytes", 23);
    TestDataSource source;
    source.offerMetafile(CF_ENHMETAFILE, bits);
    cb::EnhMetaFileItem item;
    const size_t metafiles = enhMetaFileCount();
    ASSERT_TRUE(item.readFrom(source));
    EXPECT_EQ(enhMetaFileCount(), metafiles) << "the source's metafile is released";
    EXPECT_EQ(item.block().view(), bits);
    ASSERT_EQ(source.requests().size(), 1u);
    EXPECT_EQ(source.requests()[0].tymed, TYMED_ENHMF);

    StgMedium medium;
    ASSERT_EQ(item.getData(request(CF_ENHMETAFILE, TYMED_ENHMF), medium), S_OK);
    EXPECT_EQ(medium.tymed, TYMED_ENHMF);
    std::string out(getEnhMetaFileBits(medium.hEnhMetaFile, 0, nullptr), '\0');
    EXPECT_EQ(getEnhMetaFileBits(medium.hEnhMetaFile, static_cast<uint32_t>(out.size()), out.data()),
              bits.size());
    EXPECT_EQ(out, bits);
    releaseStgMedium(medium);
    EXPECT_EQ(enhMetaFileCount(), metafiles);
}

TEST(EnhMetaFileItem, ReadFailsWithoutAMetafileAndKeepsTheOldBytes) {
    cb::EnhMetaFileItem item(cmn::mblock<char>(std::string_view("old")));
    TestDataSource asGlobal;
    asGlobal.offerGlobal(CF_ENHMETAFILE, "bytes");
    TestDataSource noHandle;
    noHandle.offerWrongMedium(CF_ENHMETAFILE, TYMED_ENHMF, TYMED_ENHMF);
    EXPECT_FALSE(item.readFrom(asGlobal));
    EXPECT_FALSE(item.readFrom(noHandle));
    EXPECT_EQ(item.block().view(), "old");
}

std::map<std::string, std::string> objectStreams() {
    return {{"\x01Ole", std::string("\x01\x00\x00\x02", 4)}, {"CONTENTS", "object bytes"}};
}

cb::EmbeddedObjectItem embeddedFromSource() {
    TestDataSource source;
    source.offerStorage(registeredFormats().embeddedObject, objectStreams());
    cb::EmbeddedObjectItem item;
    EXPECT_TRUE(item.readFrom(source));
    return item;
}

TEST(EmbeddedObjectItem, KeepsTheDocfileOfTheObjectsStorage) {
    const size_t blocks = globalBlockCount();
    const cb::EmbeddedObjectItem item = embeddedFromSource();
    EXPECT_EQ(globalBlockCount(), blocks) << "lock bytes and media are all released";
    // Signature, two streams in name order.
    std::string expected("QSTG\x01\x00\x00\x00\x02\x00\x00\x00", 12);
    expected += std::string("\x04\x00\x00\x00\x01Ole\x04\x00\x00\x00\x01\x00\x00\x02", 16);
    expected += std::string("\x08\x00\x00\x00" "CONTENTS" "\x0C\x00\x00\x00" "object bytes", 28);
    EXPECT_EQ(item.block().view(), expected);
}

TEST(EmbeddedObjectItem, RendersAStorageAndCopiesIntoTheCallersStorage) {
    const cb::EmbeddedObjectItem item = embeddedFromSource();
    const FormatEtc asStorage = request(registeredFormats().embeddedObject, TYMED_ISTORAGE);
    const size_t blocks = globalBlockCount();

    StgMedium medium;
    ASSERT_EQ(item.getData(asStorage, medium), S_OK);
    EXPECT_EQ(medium.tymed, TYMED_ISTORAGE);
    ASSERT_NE(medium.pstg, nullptr);
    EXPECT_EQ(streamOf(*medium.pstg, "CONTENTS"), "object bytes");
    releaseStgMedium(medium);
    EXPECT_EQ(globalBlockCount(), blocks);

    Ref<Storage> mine;
    ASSERT_EQ(Storage::createInMemory(mine.out()), S_OK);
    StgMedium here;
    here.pstg = mine.get();
    ASSERT_EQ(item.getDataHere(asStorage, here), S_OK);
    EXPECT_EQ(mine->streamNames(), (std::vector<std::string>{"\x01Ole", "CONTENTS"}));
    EXPECT_EQ(streamOf(*mine, "\x01Ole"), std::string("\x01\x00\x00\x02", 4));
    EXPECT_EQ(globalBlockCount(), blocks);
}

TEST(EmbeddedObjectItem, AnObjectCopiedThroughADataObjectStaysEqual) {
    auto data = std::make_unique<cb::DataObject>();
    data->add(std::make_unique<cb::EmbeddedObjectItem>(embeddedFromSource()));
    cb::EmbeddedObjectItem copy;
    ASSERT_TRUE(copy.readFrom(*data));
    EXPECT_EQ(copy, embeddedFromSource());
}

TEST(EmbeddedObjectItem, FailuresLeaveTheOldDataAndReturnTheStorageResult) {
    cb::EmbeddedObjectItem item(cmn::mblock<char>(std::string_view("not a docfile")));
    TestDataSource nothing;
    nothing.offerGlobal(CF_UNICODETEXT, std::string("x\0", 2));
    const size_t blocks = globalBlockCount();
    EXPECT_FALSE(item.readFrom(nothing));
    EXPECT_EQ(item.block().view(), "not a docfile");
    EXPECT_EQ(globalBlockCount(), blocks);

    const FormatEtc asStorage = request(registeredFormats().embeddedObject, TYMED_ISTORAGE);
    StgMedium medium;
    EXPECT_EQ(item.getData(asStorage, medium), STG_E_INVALIDHEADER);
    EXPECT_EQ(medium.pstg, nullptr);
    EXPECT_EQ(globalBlockCount(), blocks) << "the copy of the block is freed";

    const cb::EmbeddedObjectItem good = embeddedFromSource();
    failNextGlobalAllocations(1);
    EXPECT_EQ(good.getData(asStorage, medium), E_OUTOFMEMORY);
    failNextGlobalAllocations(0);

    TestDataSource source;
    source.offerStorage(registeredFormats().embeddedObject, objectStreams());
    failNextGlobalAllocations(1);
    EXPECT_FALSE(item.readFrom(source));
    failNextGlobalAllocations(0);
    EXPECT_EQ(item.block().view(), "not a docfile");

    StgMedium here;
    here.pstg = nullptr;
    EXPECT_EQ(good.getDataHere(asStorage, here), STG_E_INVALIDPOINTER);
}

}  // namespace
