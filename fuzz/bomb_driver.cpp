// Loads one decompression bomb of a gigabyte the way the program would, so that its peak memory
// can be measured from outside (/usr/bin/time -v) against a run that loads ordinary data:
//   quillet_bomb_driver baseline | list-file | list-file-without-ratio | peer-payload | receiver
//                       | server-baseline | server
// "receiver" runs the receiver check (the server decodes the bomb, then the check decodes it
// again to know what to expect); "server" sends the bomb to a receiving server alone, twice, as
// a peer would, and "server-baseline" sends it an ordinary list the same way.
// Prints what happened and the heap growth the program's own meter saw.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "fuzz/heap_meter.h"
#include "fuzz/zlib_bomb.h"
#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "model/data_object.h"
#include "net/codec.h"
#include "net/messages.h"
#include "net/server.h"
#include "persist/archive/error.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
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

// Everything a trusted peer sends to deliver a list: handshake, query, payload.
std::string listExchange(const std::string& payload) {
    net::QueryInfo query;
    query.hostName = "fuzz-host";  // trusted by the receiver check and by server()
    query.objectKind = net::kObjectRecordList;
    const std::vector<char> q = net::encodeObject(query);
    return int32(net::kHandshakeWord) + int32(static_cast<int32_t>(q.size())) +
           std::string(q.begin(), q.end()) + int32(static_cast<int32_t>(payload.size())) + payload;
}

int receiver() {
    const quillet::fuzz::Bomb bomb = quillet::fuzz::peerListBomb();
    const std::string stream = listExchange(bomb.bytes);
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

// Sends the bytes to the port on loopback and reads until the other side closes.
bool sendAll(uint16_t port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    for (size_t sent = 0; ok && sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) ok = false;
        else sent += static_cast<size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    char chunk[4096];
    while (ok && ::recv(fd, chunk, sizeof chunk, 0) > 0) {
    }
    ::close(fd);
    return ok;
}

int server(bool bomb) {
    AppConfig config;
    config.setPort(kOptServerPort, 0);
    // The peer claims "fuzz-host" from loopback; what is measured is the payload, not the trust.
    config.setBool(kOptTrustedClientAddressCheck, false);
    TrustedClientList clients;
    clients.clients.emplace_back("fuzz-host", "", "Main");
    config.setTrustedClients(clients);
    net::ServerSettings settings;
    settings.bindAddress = "127.0.0.1";
    settings.resolver = [](const std::string&) { return std::vector<uint32_t>{}; };
    net::Server receiving(config, settings);
    if (!receiving.start()) {
        std::fprintf(stderr, "cannot listen: %s\n", receiving.lastError().c_str());
        return 1;
    }
    std::string payload;
    if (bomb) {
        payload = quillet::fuzz::peerListBomb().bytes;
    } else {
        const std::vector<char> encoded = net::encodeObject(*ordinaryList());
        payload.assign(encoded.begin(), encoded.end());
    }
    const std::string stream = listExchange(payload);
    cb::History history;
    history.insertList(new cb::RecordList(u"Main"), 0);
    HeapMeter::start();
    bool sent = true;
    for (int i = 0; i < 2; ++i) sent = sendAll(receiving.listeningPort(), stream) && sent;
    receiving.drain(net::kNotifyListArrived, history);
    receiving.stop();
    return report(bomb ? "server" : "server baseline",
                  std::string(sent ? "sent twice" : "sending failed") + ", " +
                      std::to_string(history.at(0)->count()) + " records delivered") +
           (sent ? 0 : 1);
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
    if (mode == "server-baseline") return server(false);
    if (mode == "server") return server(true);
    std::fprintf(stderr,
                 "usage: %s baseline|list-file|list-file-without-ratio|peer-payload|receiver|"
                 "server-baseline|server\n",
                 argv[0]);
    return 2;
}
