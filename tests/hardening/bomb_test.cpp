// Decompression bombs of a gigabyte in every compressed input: each is refused long before it
// is inflated, with the heap far below what the bomb would take.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "fuzz/heap_meter.h"
#include "fuzz/zlib_bomb.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/codec.h"
#include "net/messages.h"
#include "persist/archive/error.h"
#include "persist/config/app_config.h"
#include "persist/files/config_file.h"
#include "persist/files/history_file.h"

namespace {

using cmn::archive::ArchiveError;
using cmn::archive::kGiB;
using cmn::archive::kMiB;
using quillet::fuzz::Bomb;
using quillet::fuzz::HeapMeter;
using quillet::fuzz::ZlibBomb;

// What a refused bomb may cost at most: well under the 100 MB the program may use for one.
constexpr int64_t kBombBudget = 64 * kMiB;
// A peer's payload is free of the ratio rule for as long as the longest text a peer may send,
// so a bomb from a peer may cost what reading such a text costs (at most 1.25 times it), and a
// little more.
constexpr int64_t kPeerBombBudget =
    static_cast<int64_t>(cmn::archive::wire::kObjectInflate.ratioFreeBytes * 5 / 4) + 8 * kMiB;
static_assert(kPeerBombBudget < 100'000'000);

std::string magic(uint32_t m) {
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((m >> (8 * i)) & 0xFF));
    return out;
}

// An archive header followed by a gigabyte of whitespace: nothing to build, all to inflate.
std::string blankBomb(std::string_view before) {
    ZlibBomb bomb;
    bomb.text(before).run(' ', kGiB);
    return bomb.finish();
}

const Bomb& listBomb() {
    static const Bomb bomb = quillet::fuzz::listFileBomb();
    return bomb;
}

const Bomb& peerBomb() {
    static const Bomb bomb = quillet::fuzz::peerListBomb();
    return bomb;
}

TEST(DecompressionBomb, InsideAListFileIsRefused) {
    ASSERT_GE(listBomb().inflated, kGiB);
    ASSERT_LT(listBomb().bytes.size(), 2 * kMiB);
    cb::RecordList list;
    std::istringstream file(listBomb().bytes);
    HeapMeter::start();
    try {
        persist::readListFile(list, file);
        ADD_FAILURE() << "the bomb was loaded";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.kind(), ArchiveError::Kind::LimitExceeded) << e.what();
    }
    EXPECT_LT(HeapMeter::peakGrowth(), kBombBudget);
}

TEST(DecompressionBomb, InsideAHistoryFileGivesTheDefaultHistory) {
    std::istringstream file(magic(0x428DC530) +
                            blankBomb("22 serialization::archive 3 0 0 4000803 1"));
    cb::History history;
    HeapMeter::start();
    EXPECT_EQ(persist::loadHistoryAtStart(history, file), persist::StartFile::Unreadable);
    EXPECT_LT(HeapMeter::peakGrowth(), kBombBudget);
    EXPECT_EQ(history.count(), 2u);
}

TEST(DecompressionBomb, InsideAConfigurationFileGivesTheDefaults) {
    std::istringstream file(magic(0x4DE7FFA0) + blankBomb("22 serialization::archive 3"));
    AppConfig config;
    HeapMeter::start();
    EXPECT_EQ(persist::loadConfig(config, file), persist::StartFile::Unreadable);
    EXPECT_LT(HeapMeter::peakGrowth(), kBombBudget);
    EXPECT_TRUE(config.firstRun());
}

TEST(DecompressionBomb, InsideANetworkPayloadIsRefused) {
    ASSERT_GE(peerBomb().inflated, kGiB);
    const std::vector<char> block(peerBomb().bytes.begin(), peerBomb().bytes.end());
    ASSERT_LE(block.size(), static_cast<size_t>(net::kMaxPayloadBytes));
    cb::RecordList list;
    HeapMeter::start();
    try {
        net::decodeObject(block, list);
        ADD_FAILURE() << "the bomb was decoded";
    } catch (const ArchiveError& e) {
        EXPECT_EQ(e.kind(), ArchiveError::Kind::LimitExceeded) << e.what();
    }
    EXPECT_LT(HeapMeter::peakGrowth(), kPeerBombBudget);
}

std::string int32(int32_t v) { return magic(static_cast<uint32_t>(v)); }

TEST(DecompressionBomb, SentToTheReceiverIsNeverDelivered) {
    // A trusted sender (the receiver check trusts "fuzz-host") announces a list and sends the
    // bomb; the check compares what the receiver does with what the protocol says.
    net::QueryInfo query;
    query.hostName = "fuzz-host";
    query.objectKind = net::kObjectRecordList;
    const std::vector<char> encoded = net::encodeObject(query);
    const std::string stream = int32(net::kHandshakeWord) +
                               int32(static_cast<int32_t>(encoded.size())) +
                               std::string(encoded.begin(), encoded.end()) +
                               int32(static_cast<int32_t>(peerBomb().bytes.size())) +
                               peerBomb().bytes;
    try {
        quillet::fuzz::checkReceiver(reinterpret_cast<const uint8_t*>(stream.data()),
                                     stream.size());
    } catch (const quillet::fuzz::Violation& v) {
        ADD_FAILURE() << v.what;
    }
    // The receiver's decoding and the check's own, each of the bomb.
    EXPECT_LT(HeapMeter::peakGrowth(), kPeerBombBudget);
    quillet::fuzz::stopReceiver();
}

TEST(DecompressionBomb, InsideARecordPayloadGivesNoItems) {
    // One text item of 250 MiB, four times over: the items a record's payload would unpack to.
    ZlibBomb bomb;
    bomb.text("22 serialization::archive 3 0 0 0 0 4 2 12 cb::TextItem 1 0 0");
    for (int i = 0; i < 4; ++i) {
        if (i > 0) bomb.text(" 2 " + std::to_string(i));
        bomb.text(" 262144000 ").run('A', 262144000);
    }
    const std::string packed = bomb.text("\n").finish();
    cb::Record record;
    record.setPayload(cmn::mblock<char>(std::string_view(packed)));
    HeapMeter::start();
    EXPECT_EQ(record.rebuildItems(nullptr), nullptr);
    // Items of real captures may inflate far, so payloads are given more room before the ratio
    // applies; the heap still stays within what that room allows.
    EXPECT_LT(HeapMeter::peakGrowth(),
              static_cast<int64_t>(3 * cmn::archive::kPayloadInflate.ratioFreeBytes));
}

}  // namespace
