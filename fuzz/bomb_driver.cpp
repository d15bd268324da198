// Loads one decompression bomb of a gigabyte the way the program would, so that its peak memory
// can be measured from outside (/usr/bin/time -v) against a run that loads ordinary data:
//   quillet_bomb_driver baseline | list-file | list-file-without-ratio | peer-payload | receiver
// Prints what happened and the heap growth the program's own meter saw.

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "fuzz/heap_meter.h"
#include "fuzz/zlib_bomb.h"
#include "model/record.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "model/data_object.h"
#include "net/codec.h"
#include "net/messages.h"
#include "persist/archive/error.h"
#include "persist/files/history_file.h"

namespace {

using quillet::fuzz::HeapMeter;

std::string int32(int32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
    return out;
}

// The ordinary data of the baseline: a list of a hundred text records.
std::unique_ptr<cb::RecordList> ordinaryList() {
    auto list = std::make_unique<cb::RecordList>(u"Main");
    for (int i = 0; i < 100; ++i) {
        auto record = cb::Record::createForCapture(1700000000 + i);
        cb::DataObject items;
        items.add(std::make_unique<cb::TextItem>(u"an ordinary record of a few words"));
        record->completeFromItems(items);
        list->add(record);
    }
    return list;
}

int report(const char* what, const std::string& outcome) {
    std::printf("%s: %s; heap growth %.1f MiB\n", what, outcome.c_str(),
                static_cast<double>(HeapMeter::peakGrowth()) / (1 << 20));
    return 0;
}

int listFile(const cmn::archive::FileLimits& limits, const char* what) {
    const quillet::fuzz::Bomb bomb = quillet::fuzz::listFileBomb();
    std::printf("bomb: %zu bytes inflating to %llu\n", bomb.bytes.size(),
                static_cast<unsigned long long>(bomb.inflated));
    cb::RecordList list;
    std::istringstream file(bomb.bytes);
    HeapMeter::start();
    try {
        persist::readListFile(list, file, limits);
        return report(what, "loaded " + std::to_string(list.count()) + " records");
    } catch (const cmn::archive::ArchiveError& e) {
        return report(what, std::string("refused (") + e.what() + ")");
    }
}

int peerPayload() {
    const quillet::fuzz::Bomb bomb = quillet::fuzz::peerListBomb();
    std::printf("bomb: %zu bytes inflating to %llu\n", bomb.bytes.size(),
                static_cast<unsigned long long>(bomb.inflated));
    const std::vector<char> block(bomb.bytes.begin(), bomb.bytes.end());
    cb::RecordList list;
    HeapMeter::start();
    try {
        net::decodeObject(block, list);
        return report("peer payload", "decoded");
    } catch (const cmn::archive::ArchiveError& e) {
        return report("peer payload", std::string("refused (") + e.what() + ")");
    }
}

int receiver() {
    const quillet::fuzz::Bomb bomb = quillet::fuzz::peerListBomb();
    net::QueryInfo query;
    query.hostName = "fuzz-host";  // trusted by the receiver check
    query.objectKind = net::kObjectRecordList;
    const std::vector<char> q = net::encodeObject(query);
    const std::string stream = int32(net::kHandshakeWord) + int32(static_cast<int32_t>(q.size())) +
                               std::string(q.begin(), q.end()) +
                               int32(static_cast<int32_t>(bomb.bytes.size())) + bomb.bytes;
    try {
        quillet::fuzz::checkReceiver(reinterpret_cast<const uint8_t*>(stream.data()),
                                     stream.size());
    } catch (const quillet::fuzz::Violation& v) {
        quillet::fuzz::stopReceiver();
        return report("receiver", "property violated: " + v.what) + 1;
    }
    quillet::fuzz::stopReceiver();
    return report("receiver", "connection closed, nothing delivered");
}

int baseline() {
    const auto list = ordinaryList();
    std::ostringstream out;
    persist::writeList(*list, out);
    const std::vector<char> encoded = net::encodeObject(*list);
    HeapMeter::start();
    cb::RecordList fromFile;
    std::istringstream file(out.str());
    persist::readListFile(fromFile, file);
    cb::RecordList fromPeer;
    net::decodeObject(encoded, fromPeer);
    return report("baseline", "loaded a list file and a peer's list of " +
                                  std::to_string(fromPeer.count()) + " records");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode == "baseline") return baseline();
    if (mode == "list-file")
        return listFile(cmn::archive::FileLimits::forDataFiles(), "list file");
    if (mode == "list-file-without-ratio") {
        cmn::archive::FileLimits limits = cmn::archive::FileLimits::forDataFiles();
        limits.inflate.maxRatio = 0;  // what the bomb costs when only the size cap stands
        return listFile(limits, "list file without the ratio rule");
    }
    if (mode == "peer-payload") return peerPayload();
    if (mode == "receiver") return receiver();
    std::fprintf(stderr,
                 "usage: %s baseline|list-file|list-file-without-ratio|peer-payload|receiver\n",
                 argv[0]);
    return 2;
}
