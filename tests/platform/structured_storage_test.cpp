// Lock bytes over global memory, storages and their docfile image, and embedding an object
// from a data object.

#include <gtest/gtest.h>

#include "platform/clipboard_formats.h"
#include "platform/ole_object.h"
#include "platform/structured_storage.h"

namespace {

using namespace platform;

std::span<const unsigned char> bytesOf(std::string_view s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

std::string contents(LockBytes& lockBytes) {
    StatStg stat;
    lockBytes.stat(&stat, STATFLAG_NONAME);
    std::string out(stat.cbSize, '\0');
    uint32_t read = 0;
    lockBytes.readAt(0, out.data(), static_cast<uint32_t>(out.size()), &read);
    out.resize(read);
    return out;
}

TEST(LockBytes, TheirSizeIsWhatWasWrittenNotTheBlocksSize) {
    const size_t blocks = globalBlockCount();
    {
        Ref<LockBytes> lb;
        ASSERT_EQ(createLockBytesOnGlobal(GlobalHandle{}, true, lb.out()), S_OK);
        uint32_t written = 0;
        ASSERT_EQ(lb->writeAt(2, "abc", 3, &written), S_OK);
        EXPECT_EQ(written, 3u);
        EXPECT_EQ(contents(*lb), std::string("\0\0abc", 5));
        GlobalHandle h{};
        ASSERT_EQ(getGlobalFromLockBytes(lb.get(), &h), S_OK);
        EXPECT_GE(globalSize(h), 5u);

        char buffer[8];
        uint32_t read = 9;
        EXPECT_EQ(lb->readAt(4, buffer, 8, &read), S_OK);
        EXPECT_EQ(read, 1u);
        EXPECT_EQ(lb->readAt(40, buffer, 8, &read), S_OK);
        EXPECT_EQ(read, 0u);

        EXPECT_EQ(lb->setSize(1), S_OK);
        EXPECT_EQ(lb->setSize(3), S_OK);
        EXPECT_EQ(contents(*lb), std::string(3, '\0')) << "bytes come back as zero";
        EXPECT_EQ(lb->writeAt(kMaxGlobalBytes, "x", 1, nullptr), STG_E_MEDIUMFULL);
    }
    EXPECT_EQ(globalBlockCount(), blocks) << "delete on release";

    const GlobalHandle mine = globalAlloc(4);
    {
        Ref<LockBytes> lb;
        ASSERT_EQ(createLockBytesOnGlobal(mine, false, lb.out()), S_OK);
        StatStg stat;
        lb->stat(&stat, STATFLAG_NONAME);
        EXPECT_EQ(stat.cbSize, 4u) << "a given block counts as written";
    }
    EXPECT_EQ(globalSize(mine), 4u) << "kept without delete on release";
    globalFree(mine);
    LockBytes* none = nullptr;
    EXPECT_EQ(createLockBytesOnGlobal(GlobalHandle{0x999}, true, &none), E_INVALIDARG);
}

TEST(Storage, TheDocfileImageByHand) {
    Ref<LockBytes> lb;
    ASSERT_EQ(createLockBytesOnGlobal(GlobalHandle{}, true, lb.out()), S_OK);
    Ref<Storage> storage;
    ASSERT_EQ(stgCreateDocfileOnLockBytes(lb.get(), STGM_CREATE | STGM_READWRITE |
                                                        STGM_SHARE_EXCLUSIVE,
                                          storage.out()),
              S_OK);
    EXPECT_EQ(contents(*lb), std::string("QSTG\x01\0\0\0\0\0\0\0", 12));
    ASSERT_EQ(storage->writeStream("b", bytesOf("xy")), S_OK);
    ASSERT_EQ(storage->writeStream("a", bytesOf("")), S_OK);
    ASSERT_EQ(storage->commit(0), S_OK);
    EXPECT_EQ(contents(*lb), std::string("QSTG\x01\0\0\0\x02\0\0\0"
                                         "\x01\0\0\0" "a" "\0\0\0\0"
                                         "\x01\0\0\0" "b" "\x02\0\0\0" "xy",
                                         32));

    Ref<Storage> again;
    ASSERT_EQ(stgOpenStorageOnLockBytes(lb.get(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                        again.out()),
              S_OK);
    EXPECT_EQ(again->streamNames(), (std::vector<std::string>{"a", "b"}));
    std::vector<unsigned char> data;
    EXPECT_EQ(again->readStream("b", data), S_OK);
    EXPECT_EQ(std::string(data.begin(), data.end()), "xy");
    EXPECT_EQ(again->readStream("c", data), STG_E_FILENOTFOUND);

    Ref<Storage> fresh;
    EXPECT_EQ(stgCreateDocfileOnLockBytes(lb.get(), STGM_READWRITE, fresh.out()),
              STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(fresh.get(), nullptr);
}

TEST(Storage, OpeningRefusesBytesThatAreNoImage) {
    const std::string good("QSTG\x01\0\0\0\x01\0\0\0\x01\0\0\0" "a" "\x01\0\0\0" "z", 22);
    struct Case {
        const char* name;
        std::string bytes;
        HResult result;
    };
    const Case cases[] = {
        {"good", good, S_OK},
        {"trailing bytes are ignored", good + "junk", S_OK},
        {"empty", "", STG_E_INVALIDHEADER},
        {"wrong signature", "QSTH" + good.substr(4), STG_E_INVALIDHEADER},
        {"wrong version", good.substr(0, 4) + '\x02' + good.substr(5), STG_E_INVALIDHEADER},
        {"data cut short", good.substr(0, 21), STG_E_INVALIDHEADER},
        {"more streams than present", good.substr(0, 8) + '\x02' + good.substr(9),
         STG_E_INVALIDHEADER},
        {"empty name", std::string("QSTG\x01\0\0\0\x01\0\0\0\0\0\0\0\0\0\0\0", 20),
         STG_E_INVALIDHEADER},
        {"names out of order",
         std::string("QSTG\x01\0\0\0\x02\0\0\0\x01\0\0\0" "b" "\0\0\0\0\x01\0\0\0" "a" "\0\0\0\0",
                     30),
         STG_E_INVALIDHEADER},
        {"huge name length", std::string("QSTG\x01\0\0\0\x01\0\0\0\xFF\xFF\xFF\x7F", 16),
         STG_E_INVALIDHEADER},
    };
    for (const Case& c : cases) {
        const GlobalHandle h = globalAlloc(c.bytes.size());
        {
            GlobalLockGuard lock(h);
            std::copy(c.bytes.begin(), c.bytes.end(), static_cast<char*>(lock.get()));
        }
        Ref<LockBytes> lb;
        ASSERT_EQ(createLockBytesOnGlobal(h, true, lb.out()), S_OK);
        Ref<Storage> storage;
        EXPECT_EQ(stgOpenStorageOnLockBytes(lb.get(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                            storage.out()),
                  c.result)
            << c.name;
    }
}

TEST(Storage, CopyToReplacesSameNamedStreamsAndWritesThrough) {
    Ref<Storage> from;
    Storage::createInMemory(from.out());
    from->writeStream("one", bytesOf("new"));
    from->writeStream("two", bytesOf("2"));

    Ref<LockBytes> lb;
    createLockBytesOnGlobal(GlobalHandle{}, true, lb.out());
    Ref<Storage> to;
    stgCreateDocfileOnLockBytes(lb.get(), STGM_CREATE | STGM_READWRITE, to.out());
    to->writeStream("one", bytesOf("old"));
    to->writeStream("zero", bytesOf("0"));
    ASSERT_EQ(from->copyTo(to.get()), S_OK);
    EXPECT_EQ(from->copyTo(nullptr), STG_E_INVALIDPOINTER);

    Ref<Storage> reopened;
    ASSERT_EQ(stgOpenStorageOnLockBytes(lb.get(), STGM_READ, reopened.out()), S_OK);
    EXPECT_EQ(reopened->streamNames(), (std::vector<std::string>{"one", "two", "zero"}));
    std::vector<unsigned char> data;
    reopened->readStream("one", data);
    EXPECT_EQ(std::string(data.begin(), data.end()), "new");
    EXPECT_EQ(reopened->writeStream("x", bytesOf("x")), STG_E_ACCESSDENIED);
}

// Offers one embedded object as a storage, and nothing else.
class ObjectSource final : public IDataObject {
public:
    uint32_t addRef() override { return 2; }
    uint32_t release() override { return 1; }
    HResult queryGetData(const FormatEtc*) override { return E_NOTIMPL; }
    HResult getData(const FormatEtc* request, StgMedium* medium) override {
        if (request->cfFormat != registeredFormats().embeddedObject ||
            request->tymed != TYMED_ISTORAGE)
            return DV_E_FORMATETC;
        if (!offer) return DV_E_FORMATETC;
        Storage* storage = nullptr;
        Storage::createInMemory(&storage);
        storage->writeStream("CONTENTS", bytesOf("object"));
        medium->tymed = TYMED_ISTORAGE;
        medium->pstg = storage;
        return S_OK;
    }
    HResult getDataHere(const FormatEtc*, StgMedium*) override { return DV_E_FORMATETC; }
    HResult enumFormatEtc(uint32_t, IEnumFormatEtc**) override { return E_NOTIMPL; }
    bool offer = true;
};

TEST(OleObject, CreatingFromDataCopiesTheOfferedStorage) {
    ObjectSource source;
    Ref<Storage> storage;
    Storage::createInMemory(storage.out());
    Ref<Unknown> object;
    ASSERT_EQ(oleCreateFromData(&source, storage.get(), object.out()), S_OK);
    EXPECT_NE(object.get(), nullptr);
    EXPECT_EQ(storage->streamNames(), (std::vector<std::string>{"CONTENTS"}));

    source.offer = false;
    Ref<Storage> other;
    Storage::createInMemory(other.out());
    EXPECT_EQ(oleCreateFromData(&source, other.get(), object.out()), DV_E_FORMATETC);
    EXPECT_EQ(object.get(), nullptr);
    EXPECT_TRUE(other->streamNames().empty());
    EXPECT_EQ(oleCreateFromData(nullptr, other.get(), nullptr), E_INVALIDARG);
}

}  // namespace
