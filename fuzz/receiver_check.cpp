// The receiving side of one connection, over loopback, fed the input as everything a peer sends.
// What it writes back and what it hands on are compared with what the protocol says for those
// bytes: no echo without the handshake word, the reply the query deserves, and exactly the
// object the payload holds, delivered to the list of the client the query matched.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check_support.h"
#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/codec.h"
#include "net/messages.h"
#include "net/notify.h"
#include "net/server.h"
#include "net/trust.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"

namespace quillet::fuzz {

namespace {

using cmn::archive::ArchiveError;

// The longest the check waits for the receiver to answer and close; it never needs to wait for
// a time-out of its own, since the peer's side is closed after the input.
constexpr int kAnswerWaitMs = 20000;

// Host names resolve without the system, the same way every run.
std::optional<uint32_t> resolve(const std::string& host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return ntohl(address.s_addr);
    if (host == "fuzz.example") return 0x0A010203;  // 10.1.2.3
    return std::nullopt;
}

TrustedClientList trustedClients() {
    TrustedClientList list;
    list.clients.emplace_back("fuzz-host", "", "Main");
    list.clients.emplace_back("10.1.2.3", "bob", "Inbox");
    return list;
}

// One server for the whole run, listening on a loopback port of the system's choice.
class Receiving {
public:
    Receiving() {
        config_.setPort(kOptServerPort, 0);
        // The oracle below decides on the names in the query alone, as the protocol does.
        config_.setBool(kOptTrustedClientAddressCheck, false);
        config_.setTrustedClients(trustedClients());
        net::ServerSettings settings;
        settings.bindAddress = "127.0.0.1";
        settings.ioTimeout = std::chrono::milliseconds(kAnswerWaitMs / 2);
        settings.resolver = [](const std::string& host) {
            const std::optional<uint32_t> address = resolve(host);
            return address ? std::vector<uint32_t>{*address} : std::vector<uint32_t>{};
        };
        server_ = std::make_unique<net::Server>(config_, settings);
        if (!server_->start()) violation("the receiver cannot listen: " + server_->lastError());
    }

    net::Server& server() { return *server_; }
    uint16_t port() const { return server_->listeningPort(); }
    void stop() { server_->stop(); }

private:
    AppConfig config_;
    std::unique_ptr<net::Server> server_;
};

Receiving* receiving = nullptr;

Receiving& theReceiver() {
    if (receiving == nullptr) receiving = new Receiving();
    return *receiving;
}

struct Outcome {
    std::string written;  // what the receiver sent back
    bool reset = false;   // the connection ended with a reset (unread input was left)
};

// Sends the whole input, closes the sending side, and reads until the receiver closes.
Outcome exchange(uint16_t port, std::string_view input) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) violation("no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        violation(std::string("cannot connect to the receiver: ") + std::strerror(errno));
    }
    Outcome outcome;
    size_t sent = 0;
    bool sending = true;
    for (;;) {
        pollfd p{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        const int ready = ::poll(&p, 1, kAnswerWaitMs);
        if (ready == 0) {
            ::close(fd);
            violation("the receiver neither answers nor closes");
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (sending && (p.revents & POLLOUT)) {
            if (sent < input.size()) {
                const ssize_t n = ::send(fd, input.data() + sent, input.size() - sent,
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) sent += static_cast<size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR) sending = false;
            }
            if (sent == input.size()) {
                ::shutdown(fd, SHUT_WR);
                sending = false;
            }
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                outcome.written.append(chunk, static_cast<size_t>(n));
                continue;
            }
            if (n == 0) break;
            if (errno == EAGAIN || errno == EINTR) continue;
            outcome.reset = true;
            break;
        }
    }
    ::close(fd);
    return outcome;
}

int32_t int32At(std::string_view bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<int32_t>(v);
}

std::string int32Bytes(int32_t value) {
    return magicBytes(static_cast<uint32_t>(value));
}

// What the protocol says the receiver does with this input.
struct Expected {
    std::string written;
    int32_t kind = -1;             // of the object delivered; -1 for none
    std::string listName;          // where its records go
    std::vector<std::string> records;  // each record's archive text, in list order
};

template <class T>
std::string archiveText(const T& object) {
    std::ostringstream out;
    cmn::archive::save(object, out);
    return out.str();
}

void addRecords(const cb::RecordList& list, std::vector<std::string>& into) {
    for (const auto& record : list.records()) into.push_back(archiveText(*record));
}

// Decodes the payload as the receiver must; false when it must not be delivered.
bool expectPayload(int32_t kind, std::string_view block, Expected& expected) {
    const std::vector<char> bytes(block.begin(), block.end());
    try {
        if (kind == net::kObjectRecord) {
            cb::Record record;
            net::decodeObject(bytes, record);
            expected.records.push_back(archiveText(record));
        } else if (kind == net::kObjectRecordList) {
            cb::RecordList list;
            net::decodeObject(bytes, list);
            addRecords(list, expected.records);
        } else {
            cb::History history;
            net::decodeObject(bytes, history);
            // Each list's records go on top of those of the lists before it.
            const auto& lists = history.lists();
            for (auto it = lists.rbegin(); it != lists.rend(); ++it)
                if (*it) addRecords(**it, expected.records);
        }
    } catch (const ArchiveError&) {
        return false;
    }
    return true;
}

Expected expect(std::string_view input, const net::ServerSettings& settings) {
    Expected expected;
    if (input.size() < 4 || int32At(input, 0) != net::kHandshakeWord) return expected;
    expected.written = std::string(input.substr(0, 4));
    size_t at = 4;

    if (input.size() < at + 4) return expected;
    const int32_t queryLength = int32At(input, at);
    at += 4;
    if (queryLength < 0 || queryLength > settings.maxMessageBytes ||
        input.size() - at < static_cast<size_t>(queryLength))
        return expected;
    const std::vector<char> queryBlock(input.begin() + at, input.begin() + at + queryLength);
    at += static_cast<size_t>(queryLength);
    net::QueryInfo query;
    try {
        net::decodeObject(queryBlock, query);
    } catch (const ArchiveError&) {
        return expected;
    }

    net::ReplyInfo reply;
    reply.result = net::kResultAccepted;
    reply.appVersion = kAppVersionNumber;
    const TrustedClient* client = nullptr;
    const TrustedClientList clients = trustedClients();
    if (query.objectKind != net::kObjectRecord && query.objectKind != net::kObjectRecordList &&
        query.objectKind != net::kObjectHistory) {
        reply.result = net::kResultUnknownObjectKind;
    } else if ((client = net::findTrustedClient(clients, query, resolve)) == nullptr) {
        reply.result = net::kResultUntrustedClient;
        reply.flags |= net::kReplyFlagUntrustedClient;
    }
    const std::vector<char> replyBytes = net::encodeObject(reply);
    expected.written += int32Bytes(static_cast<int32_t>(replyBytes.size()));
    expected.written.append(replyBytes.begin(), replyBytes.end());
    if (reply.result != net::kResultAccepted) return expected;

    if (input.size() < at + 4) return expected;
    const int32_t payloadLength = int32At(input, at);
    at += 4;
    if (payloadLength < 0 || payloadLength > settings.maxPayloadBytes ||
        input.size() - at < static_cast<size_t>(payloadLength))
        return expected;
    if (expectPayload(query.objectKind, input.substr(at, static_cast<size_t>(payloadLength)),
                      expected)) {
        expected.kind = query.objectKind;
        expected.listName = client->listName;
    }
    return expected;
}

uintptr_t notifyCode(int32_t kind) {
    if (kind == net::kObjectRecord) return net::kNotifyRecordArrived;
    if (kind == net::kObjectRecordList) return net::kNotifyListArrived;
    return net::kNotifyHistoryArrived;
}

// The lists the trusted clients name; they take every record they are given.
std::unique_ptr<cb::History> targetHistory() {
    auto history = std::make_unique<cb::History>();
    for (const TrustedClient& client : trustedClients().clients) {
        auto* list = new cb::RecordList(platform::utf8ToUtf16(client.listName));
        list->setDiscardOld(false);
        list->setMaxCount(cb::RecordList::kMaxRecords);
        history->insertList(list, history->count());
    }
    return history;
}

}  // namespace

void checkReceiver(const uint8_t* data, size_t size) {
    Receiving& receiver = theReceiver();
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    HeapMeter::start();
    const Outcome outcome = exchange(receiver.port(), input);
    // Everything one connection may hold: its body, and what a decode may build.
    checkHeap("receiver", heapBound(cmn::archive::Limits::forNetwork(), 2 * size));

    const Expected expected = expect(input, receiver.server().settings());
    if (outcome.reset) {
        // A reset may swallow the end of what was written; what arrived must still be right.
        if (expected.written.compare(0, outcome.written.size(), outcome.written) != 0)
            violation("receiver: wrote what the protocol does not say");
    } else if (outcome.written != expected.written) {
        violation("receiver: wrote " + std::to_string(outcome.written.size()) +
                  " bytes where the protocol says " + std::to_string(expected.written.size()));
    }

    // Whatever was delivered goes where its client says, and nothing else arrives.
    auto history = targetHistory();
    for (const uintptr_t code :
         {net::kNotifyRecordArrived, net::kNotifyListArrived, net::kNotifyHistoryArrived}) {
        const bool added = receiver.server().drain(code, *history);
        const bool deliveredHere = expected.kind >= 0 && notifyCode(expected.kind) == code;
        if (added && !deliveredHere) violation("receiver: delivered an object it should not have");
        if (deliveredHere && added != !expected.records.empty())
            violation("receiver: the delivered object's records did not arrive");
    }
    for (size_t i = 0; i < history->count(); ++i) {
        const cb::RecordList& list = *history->at(i);
        const bool target = expected.kind >= 0 && list.nameUtf8() == expected.listName;
        std::vector<std::string> arrived;
        addRecords(list, arrived);
        if (arrived != (target ? expected.records : std::vector<std::string>{}))
            violation("receiver: list " + list.nameUtf8() + " holds records it should not");
    }
}

void stopReceiver() {
    if (receiving != nullptr) receiving->stop();
}

}  // namespace quillet::fuzz
