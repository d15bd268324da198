// The caps on untrusted input: the inflation ratio, what a load may build, the lists of a
// history and the size of a file. Each refusal is an ArchiveError of kind LimitExceeded.

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/heap_meter.h"
#include "fuzz/zlib_bomb.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/mblock.h"
#include "model/record_list.h"
#include "persist/archive/archive.h"
#include "persist/archive/base64.h"
#include "persist/archive/zlib_stream.h"
#include "persist/config/network_address.h"
#include "persist/files/history_file.h"

namespace {

using cmn::archive::ArchiveError;
using cmn::archive::InflateLimits;
using cmn::archive::kMiB;
using cmn::archive::Limits;
using quillet::fuzz::HeapMeter;
using quillet::fuzz::ZlibBomb;
using Kind = ArchiveError::Kind;

const std::string kHeader = "22 serialization::archive 3";

// How many bytes reading the stream gives, or the kind of error that ended it.
struct Inflated {
    uint64_t bytes = 0;
    bool refused = false;
};

Inflated inflate(const std::string& packed, const InflateLimits& limits) {
    Inflated result;
    try {
        cmn::archive::readCompressed(packed, limits, [&](std::istream& in) {
            char chunk[1 << 16];
            while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
                result.bytes += static_cast<uint64_t>(in.gcount());
        });
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.kind(), Kind::LimitExceeded) << e.what();
        result.refused = true;
    }
    return result;
}

// Bytes that deflate cannot shrink, like base64 of compressed items.
std::string noise(size_t n) {
    std::string out(n, '\0');
    uint32_t x = 12345;
    for (char& c : out) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

TEST(ZlibBomb, IsARealZlibStreamOfTheStatedSize) {
    ZlibBomb bomb;
    bomb.text("head ").run('A', 5 * kMiB + 17).text(" tail");
    const Inflated all = inflate(bomb.finish(), InflateLimits{64 * kMiB, 0, 0});
    EXPECT_FALSE(all.refused);
    EXPECT_EQ(all.bytes, 5 * kMiB + 27);
    EXPECT_EQ(bomb.inflatedSize(), all.bytes);
}

TEST(InflateLimits, OutputFarAboveItsInputIsRefusedOncePastTheRatioFreePart) {
    ZlibBomb bomb;
    bomb.run(' ', 16 * kMiB);
    const std::string packed = bomb.finish();
    EXPECT_TRUE(inflate(packed, InflateLimits{64 * kMiB, 1 * kMiB, 100}).refused);
    // Below the ratio-free part, and without a ratio, the same stream is read to its end.
    EXPECT_EQ(inflate(packed, InflateLimits{64 * kMiB, 32 * kMiB, 100}).bytes, 16 * kMiB);
    EXPECT_EQ(inflate(packed, InflateLimits{64 * kMiB, 1 * kMiB, 0}).bytes, 16 * kMiB);
}

TEST(InflateLimits, OrdinaryDataPassesTheRatioAndStopsAtTheSizeCap) {
    ZlibBomb bomb;
    bomb.text(noise(3 * kMiB));
    const std::string packed = bomb.finish();
    EXPECT_EQ(inflate(packed, InflateLimits{64 * kMiB, 1 * kMiB, 100}).bytes, 3 * kMiB);
    EXPECT_TRUE(inflate(packed, InflateLimits{2 * kMiB, 1 * kMiB, 100}).refused);
}

template <class T>
Kind loadError(T& object, const std::string& text, const Limits& limits) {
    std::istringstream in(text);
    try {
        cmn::archive::load(object, in, limits);
    } catch (const ArchiveError& e) {
        return e.kind();
    }
    return Kind::StreamError;  // "no error" is not a kind: make the expectation fail
}

// Limits that let everything through except what a load builds.
Limits building(uint64_t maxBuiltBytes) {
    return Limits{1 << 20, 1 << 20, 1 << 20, 1 << 20, maxBuiltBytes};
}

struct Three {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    std::string a, b, c;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(a, b, c);
    }
};

TEST(ReaderBudget, StringsCountWithTheirBytes) {
    const std::string s600(600, 'x');
    const std::string text = kHeader + " 0 0 600 " + s600 + " 600 " + s600 + " 0 \n";
    Three three;
    EXPECT_EQ(loadError(three, text, building(1000)), Kind::LimitExceeded);
    std::istringstream in(text);
    cmn::archive::load(three, in, building(1200));
    EXPECT_EQ(three.b, s600);
}

TEST(ReaderBudget, CollectionsCountTheirElementsBeforeReadingThem) {
    // A count of 1000 hosts and nothing behind it: refused for what it would build.
    std::vector<NetworkAddress> hosts;
    const Limits limits = building(100 * sizeof(NetworkAddress));
    EXPECT_EQ(loadError(hosts, kHeader + " 0 0 1000\n", limits), Kind::LimitExceeded);
    EXPECT_EQ(loadError(hosts, kHeader + " 0 0 99\n", limits), Kind::StreamError);
}

// A payload of n text items of one letter each: a few bytes of text per object.
std::string itemsText(int n) {
    std::string text = kHeader + " 0 0 0 0 " + std::to_string(n) + " 2 12 cb::TextItem 1 0 0 1 a";
    for (int i = 1; i < n; ++i) text += " 2 " + std::to_string(i) + " 1 a";
    return text + "\n";
}

TEST(ReaderBudget, ObjectsCountWithTheirOverhead) {
    cb::DataObject items;
    EXPECT_EQ(loadError(items, itemsText(100), building(50 * cmn::archive::kObjectOverheadBytes)),
              Kind::LimitExceeded);
    cb::DataObject fits;
    std::istringstream in(itemsText(100));
    cmn::archive::load(fits, in, building(200 * cmn::archive::kObjectOverheadBytes));
    EXPECT_EQ(fits.count(), 100u);
}

TEST(ReaderBudget, TheRealHeapStaysWithinThreeTimesWhatTheReaderCounts) {
    // Objects are where text turns into the most memory: ten bytes of text make an item.
    const std::string text = itemsText(100000);
    const Limits limits = building(4 * kMiB);
    cb::DataObject items;
    HeapMeter::start();
    EXPECT_EQ(loadError(items, text, limits), Kind::LimitExceeded);
    EXPECT_LT(HeapMeter::peakGrowth(), static_cast<int64_t>(3 * limits.maxBuiltBytes));
}

// The heap that loading `text` as a T takes at its peak, whether the load succeeds or not.
template <class T>
int64_t peakLoading(const std::string& text) {
    std::istringstream in(text);
    T object;
    HeapMeter::start();
    try {
        cmn::archive::load(object, in, Limits::forFiles());
    } catch (const ArchiveError&) {
    }
    return HeapMeter::peakGrowth();
}

TEST(ReaderBudget, ALongTextOrBlockCostsLittleBeyondItsLengthAndALyingLengthLittle) {
    // Just above a power of two, where growing by doubling alone would hold three times it.
    const size_t n = 4 * kMiB + 1;
    const size_t arrived = 100 * 1024;  // of a length that lies
    const std::string bytes(n, 'x');
    std::string base64;
    cmn::archive::base64::encodeBlock(bytes.data(), bytes.size(), base64);
    const std::string head = kHeader + " 0 0 " + std::to_string(n) + " ";
    const int64_t slack = 64 * 1024;
    struct Case {
        const char* what;
        int64_t peak;
        int64_t most;
    };
    const Case cases[] = {
        {"a whole text", peakLoading<Three>(head + bytes + " 0 0 \n"),
         static_cast<int64_t>(n * 5 / 4) + slack},
        {"a text that ends early", peakLoading<Three>(head + bytes.substr(0, arrived)),
         static_cast<int64_t>(8 * arrived) + slack},
        // A block is read, then copied into its own buffer.
        {"a whole block", peakLoading<cmn::mblock<char>>(head + base64 + "\n"),
         static_cast<int64_t>(2 * n) + slack},
        {"a block that ends early",
         peakLoading<cmn::mblock<char>>(head + base64.substr(0, arrived * 4 / 3)),
         static_cast<int64_t>(8 * arrived) + slack},
    };
    for (const Case& c : cases) EXPECT_LT(c.peak, c.most) << c.what;
}

// A history whose lists (or pending lists) hold one list n times.
std::string historyText(int lists, int pending) {
    std::string text = kHeader + " 0 0 4294967295 0 0 " + std::to_string(lists) +
                       " 2 1 0 0 0 0 0 4 Main 100 1 1";
    for (int i = 1; i < lists; ++i) text += " 2 0";
    text += " 2 0 10 " + std::to_string(pending);
    for (int i = 0; i < pending; ++i) text += " 2 0";
    return text + "\n";
}

TEST(HistoryArchive, HoldsAtMostAsManyListsAsAHistoryCanHave) {
    const int most = cb::History::kMaxLists;
    cb::History history;
    {
        std::istringstream in(historyText(most, most));
        cmn::archive::load(history, in, Limits::forFiles());
        EXPECT_EQ(history.count(), static_cast<size_t>(most));
    }
    cb::History tooMany;
    EXPECT_EQ(loadError(tooMany, historyText(most + 1, 0), Limits::forFiles()),
              Kind::LimitExceeded);
    EXPECT_EQ(loadError(tooMany, historyText(1, most + 1), Limits::forFiles()),
              Kind::LimitExceeded);
    EXPECT_EQ(tooMany.count(), 0u) << "a refused load leaves the history as it was";
}

TEST(DataFiles, AFileLargerThanItsCapIsRefusedBeforeItIsRead) {
    cb::RecordList list(u"Main");
    std::ostringstream out;
    persist::writeList(list, out);
    const std::string file = out.str();
    cmn::archive::FileLimits limits = cmn::archive::FileLimits::forDataFiles();
    limits.maxFileBytes = file.size() - 1;
    std::istringstream tooLarge(file);
    try {
        persist::readListFile(list, tooLarge, limits);
        ADD_FAILURE() << "a file above the cap was read";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.kind(), Kind::LimitExceeded);
    }
    limits.maxFileBytes = file.size();
    std::istringstream fits(file);
    persist::readListFile(list, fits, limits);
    EXPECT_EQ(list.nameUtf8(), "Main");
}

}  // namespace
