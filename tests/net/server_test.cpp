// The receiving server on loopback, with real sockets: trust, rejections, malformed input,
// time-outs, delivery and the drains into the history.

#include "net/server.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <memory>
#include <string>
#include <vector>

#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/local_identity.h"
#include "net/network_log.h"
#include "net/sender.h"
#include "net_test_support.h"
#include "persist/config/option_keys.h"

namespace {

using namespace nettest;
using Post = RecordingTarget::Post;

std::string counted(const std::string& s) { return std::to_string(s.size()) + " " + s; }

// A query archive written out by hand: class version 1 with the host name.
std::string queryText(const std::string& user, int kind, const std::string& host) {
    return kArchiveHeader + "0 1 " + counted(user) + " " + std::to_string(kind) +
           " 4000803 0 1 " + counted(host) + "\n";
}

// A record archive written out by hand: empty payload, no application, time 0.
std::string recordText(const std::string& text) {
    return kArchiveHeader + "1 1 0 0 0 0 " + counted(text) +
           " 0  0 -1 0 0 0 8 0 0 0 0 0 0 0 0\n";
}

const std::string kAccepted = kArchiveHeader + "0 0 0 4000803 0 1\n";
const std::string kUntrusted = kArchiveHeader + "0 0 3 4000803 4 1\n";
const std::string kUnknownKind = kArchiveHeader + "0 0 2 4000803 0 1\n";

cb::RecordPtr makeRecord(const std::string& text, const std::string& payload = "") {
    auto record = boost::make_shared<cb::Record>();
    record->setTextUtf8(text);
    if (!payload.empty()) record->setPayload(cmn::mblock<char>(std::string_view(payload)));
    return record;
}

std::vector<std::string> texts(const cb::RecordList& list) {
    std::vector<std::string> out;
    for (const auto& record : list.records()) out.push_back(record->textUtf8());
    return out;
}

// Handshake, then the query; returns the decoded reply.
std::string handshakeAndQuery(net::BlockingSocket& socket, const std::string& query) {
    sendBytes(socket, kHandshakeBytes);
    EXPECT_EQ(readBytes(socket, 4), kHandshakeBytes);
    sendBytes(socket, framed(zlibCompress(query)));
    const int32_t length = net::readInt(socket);
    return zlibDecompress(readBytes(socket, static_cast<size_t>(length)));
}

// This computer's name is where the test's peers connect from; no other name resolves.
std::vector<uint32_t> loopbackResolver(const std::string& host) {
    if (host == net::localHostName()) return {0x7F000001};
    return {};
}

net::ServerSettings loopbackSettings(std::chrono::milliseconds ioTimeout = 10s) {
    net::ServerSettings settings;
    settings.bindAddress = "127.0.0.1";
    settings.ioTimeout = ioTimeout;
    settings.resolver = loopbackResolver;
    return settings;
}

net::SenderSettings quickSender(std::shared_ptr<net::NetworkLog> log) {
    net::SenderSettings settings;
    settings.timeouts = quickTimeouts();
    settings.shuttingDown = [] { return false; };
    settings.log = log;
    return settings;
}

class ServerTest : public testing::Test {
protected:
    void SetUp() override {
        config.setPort(kOptServerPort, 0);
        config.setBool(kOptReceiveEnabled, true);
        TrustedClientList clients;
        clients.clients = {{net::localHostName(), "", "Inbox"}, {"friend", "joe", "FromJoe"}};
        config.setTrustedClients(clients);
        history.insertList(new cb::RecordList(u"Other"), 0);
        inbox = new cb::RecordList(u"Inbox");
        history.insertList(inbox, 1);
    }

    void startServer(net::ServerSettings settings = loopbackSettings()) {
        server = std::make_unique<net::Server>(config, std::move(settings));
        server->setNotifyTarget(target);
        ASSERT_TRUE(server->start()) << server->lastError();
        port = server->listeningPort();
        ASSERT_NE(port, 0);
    }

    // A complete exchange by hand that delivers one record named `text`.
    void sendRecordByHand(const std::string& text) {
        auto socket = connectTo(port);
        ASSERT_EQ(handshakeAndQuery(*socket, queryText("joe", 0, net::localHostName())),
                  kAccepted);
        sendBytes(*socket, framed(zlibCompress(recordText(text))));
        EXPECT_EQ(readToEnd(*socket), "");
    }

    size_t postsOf(uintptr_t code) const {
        size_t n = 0;
        for (const Post& p : target->posts())
            if (p.message == net::kMsgNetNotify && p.wParam == code) ++n;
        return n;
    }

    bool waitForPosts(uintptr_t code, size_t count) {
        return waitUntil([&] { return postsOf(code) >= count; });
    }

    AppConfig config;
    cb::History history;
    cb::RecordList* inbox = nullptr;
    std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
    std::unique_ptr<net::Server> server;
    uint16_t port = 0;
};

TEST_F(ServerTest, RecordAndListFromASenderArriveInTheClientsListInOrder) {
    startServer();
    inbox->add(makeRecord("r0"));
    auto log = std::make_shared<net::NetworkLog>();
    const NetworkAddress address("127.0.0.1", port);

    auto record = makeRecord("solo", std::string(5000, 'p'));
    record->setApplicationUtf8("/usr/bin/editor");
    auto sender = std::make_shared<net::Sender>(quickSender(log));
    auto senderTarget = std::make_shared<RecordingTarget>();
    sender->setNotifyTarget(senderTarget);
    ASSERT_TRUE(sender->prepare(address, *record));
    sender->start();
    ASSERT_TRUE(waitForPosts(net::kNotifyRecordArrived, 1));
    EXPECT_TRUE(waitForState(*sender, net::kSendFinished));
    EXPECT_TRUE(senderTarget->waitFor([](const Post& p) { return p.wParam == net::kSendFinished; }));
    EXPECT_TRUE(server->drain(net::kNotifyRecordArrived, history));
    ASSERT_EQ(texts(*inbox), (std::vector<std::string>{"solo", "r0"}));
    EXPECT_EQ(inbox->at(0)->applicationUtf8(), "/usr/bin/editor");
    EXPECT_EQ(inbox->at(0)->payload().view(), std::string(5000, 'p'));

    cb::RecordList list(u"Outgoing");
    list.add(makeRecord("r3"));
    list.add(makeRecord("r2"));
    list.add(makeRecord("r1"));  // newest, first
    auto listSender = std::make_shared<net::Sender>(quickSender(log));
    ASSERT_TRUE(listSender->prepare(address, list));
    listSender->start();
    ASSERT_TRUE(waitForPosts(net::kNotifyListArrived, 1));
    EXPECT_TRUE(waitForState(*listSender, net::kSendFinished));
    EXPECT_FALSE(server->drainRecords(history));
    EXPECT_TRUE(server->drainLists(history));
    EXPECT_EQ(texts(*inbox), (std::vector<std::string>{"r1", "r2", "r3", "solo", "r0"}));
    EXPECT_EQ(texts(*history.findListByName(u"Other")), std::vector<std::string>{});
}

TEST_F(ServerTest, ConcurrentSendersAreAllServed) {
    startServer();
    auto log = std::make_shared<net::NetworkLog>();
    std::vector<std::shared_ptr<net::Sender>> senders;
    for (int i = 0; i < 8; ++i) {
        auto sender = std::make_shared<net::Sender>(quickSender(log));
        ASSERT_TRUE(sender->prepare(NetworkAddress("127.0.0.1", port),
                                    *makeRecord("c" + std::to_string(i), std::string(3000, 'z'))));
        senders.push_back(sender);
    }
    for (auto& sender : senders) sender->start();
    ASSERT_TRUE(waitForPosts(net::kNotifyRecordArrived, senders.size()));
    for (auto& sender : senders) EXPECT_TRUE(waitForState(*sender, net::kSendFinished));
    EXPECT_TRUE(server->drainRecords(history));
    EXPECT_EQ(inbox->count(), senders.size());
}

TEST_F(ServerTest, UntrustedSendersGetResult3WithFlag4AndNoPayloadIsRead) {
    startServer();
    const std::string queries[] = {
        queryText("mallory", 0, "stranger"),
        queryText("ann", 0, "friend"),  // trusted host, but only for joe
        queryText("joe", 1, "friend.example"),
    };
    for (const std::string& query : queries) {
        auto socket = connectTo(port);
        EXPECT_EQ(handshakeAndQuery(*socket, query), kUntrusted);
        // The payload goes nowhere: the server has closed after its reply.
        try {
            sendBytes(*socket, framed(zlibCompress(recordText("sneaky"))));
        } catch (...) {
        }
        EXPECT_EQ(readToEnd(*socket), "");
    }
    sendRecordByHand("fine");
    ASSERT_TRUE(waitForPosts(net::kNotifyRecordArrived, 1));
    EXPECT_EQ(postsOf(net::kNotifyRecordArrived), 1u);
    EXPECT_TRUE(server->drainRecords(history));
    EXPECT_EQ(texts(*inbox), std::vector<std::string>{"fine"});
}

TEST_F(ServerTest, UnknownObjectKindsGetResult2) {
    startServer();
    const std::string queries[] = {
        queryText("joe", 5, net::localHostName()),
        queryText("joe", -1, net::localHostName()),
    };
    for (const std::string& query : queries) {
        auto socket = connectTo(port);
        EXPECT_EQ(handshakeAndQuery(*socket, query), kUnknownKind);
        EXPECT_EQ(readToEnd(*socket), "");
    }
    // An empty query block leaves the kind unset: result 2 as well.
    auto socket = connectTo(port);
    sendBytes(*socket, kHandshakeBytes + int32Bytes(0));
    const std::string reply = readToEnd(*socket);
    ASSERT_GE(reply.size(), 8u);
    EXPECT_EQ(reply.substr(0, 4), kHandshakeBytes);
    EXPECT_EQ(zlibDecompress(reply.substr(8)), kUnknownKind);
    EXPECT_EQ(net::loadInt32(reply.data() + 4), static_cast<int32_t>(reply.size() - 8));
}

TEST_F(ServerTest, BadInputClosesTheConnectionAndTheServerServesTheNextClient) {
    startServer();
    const std::string goodQuery = framed(zlibCompress(queryText("joe", 0, net::localHostName())));
    const std::string packedRecord = zlibCompress(recordText("x"));
    const std::string acceptedReply = framed(zlibCompress(kAccepted));
    struct Case {
        const char* name;
        std::string sent;
        std::string expected;  // what the server writes before it closes
        bool halfClose = false;
    };
    const Case cases[] = {
        {"wrong handshake", std::string("\x00\x01\x02\x03", 4), ""},
        {"handshake in the wrong byte order", "\x0A\x06\x87\xAC", ""},
        {"negative query length", kHandshakeBytes + int32Bytes(-1), kHandshakeBytes},
        {"huge query length", kHandshakeBytes + int32Bytes(0x7FFFFFFF), kHandshakeBytes},
        {"query just above its cap", kHandshakeBytes + int32Bytes(net::kMaxMessageBytes + 1),
         kHandshakeBytes},
        {"garbage zlib query", kHandshakeBytes + framed("certainly not zlib"), kHandshakeBytes},
        {"truncated zlib query",
         kHandshakeBytes + framed(zlibCompress(queryText("joe", 0, "h")).substr(0, 12)),
         kHandshakeBytes},
        {"negative payload length", kHandshakeBytes + goodQuery + int32Bytes(-5),
         kHandshakeBytes + acceptedReply},
        {"huge payload length",
         kHandshakeBytes + goodQuery + int32Bytes(net::kMaxPayloadBytes + 1),
         kHandshakeBytes + acceptedReply},
        {"garbage zlib payload", kHandshakeBytes + goodQuery + framed("\x78\x9C garbage!"),
         kHandshakeBytes + acceptedReply},
        {"truncated zlib payload",
         kHandshakeBytes + goodQuery + framed(packedRecord.substr(0, packedRecord.size() / 2)),
         kHandshakeBytes + acceptedReply},
        {"payload that ends before its length",
         kHandshakeBytes + goodQuery + int32Bytes(100) + std::string(10, 'a'),
         kHandshakeBytes + acceptedReply, true},
        {"payload of a valid zlib stream holding no record",
         kHandshakeBytes + goodQuery + framed(zlibCompress("hello")),
         kHandshakeBytes + acceptedReply},
    };
    size_t delivered = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            auto socket = connectTo(port);
            sendBytes(*socket, c.sent);
            if (c.halfClose) socket->socket().shutdown(asio::ip::tcp::socket::shutdown_send);
            // The client's own time-out is shorter than the server's: this only returns when
            // the server closed because of what it was sent.
            EXPECT_EQ(readToEnd(*socket), c.expected);
        }
        sendRecordByHand(std::string("after ") + c.name);
        ++delivered;
        ASSERT_TRUE(waitForPosts(net::kNotifyRecordArrived, delivered));
    }
    EXPECT_EQ(postsOf(net::kNotifyRecordArrived), delivered);
    EXPECT_TRUE(server->drainRecords(history));
    EXPECT_EQ(inbox->count(), delivered);
}

TEST_F(ServerTest, ASilentPeerIsDroppedAfterTheTimeout) {
    startServer(loopbackSettings(200ms));
    const std::string goodQuery = framed(zlibCompress(queryText("joe", 0, net::localHostName())));
    struct Case {
        const char* name;
        std::string sent;
        std::string expected;
    };
    const Case cases[] = {
        {"silent from the start", "", ""},
        {"half a handshake", "\xAC\x87", ""},
        {"silent after the handshake", kHandshakeBytes, kHandshakeBytes},
        {"silent inside the query", kHandshakeBytes + int32Bytes(100) + "abc", kHandshakeBytes},
        {"silent before the payload", kHandshakeBytes + goodQuery,
         kHandshakeBytes + framed(zlibCompress(kAccepted))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto socket = connectTo(port);
        if (!c.sent.empty()) sendBytes(*socket, c.sent);
        EXPECT_EQ(readToEnd(*socket), c.expected);
    }
    EXPECT_TRUE(server->running());
}

TEST_F(ServerTest, ASlowPeerThatKeepsSendingIsServed) {
    startServer(loopbackSettings(1000ms));
    auto socket = connectTo(port);
    const std::string exchange =
        kHandshakeBytes + framed(zlibCompress(queryText("joe", 0, net::localHostName())));
    // Every pause is shorter than the time-out, all of them together are longer.
    const size_t step = exchange.size() / 5 + 1;
    for (size_t offset = 0; offset < exchange.size(); offset += step) {
        sendBytes(*socket, exchange.substr(offset, step));
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(readBytes(*socket, 4), kHandshakeBytes);
    const int32_t length = net::readInt(*socket);
    EXPECT_EQ(zlibDecompress(readBytes(*socket, static_cast<size_t>(length))), kAccepted);
}

TEST_F(ServerTest, EmptyPayloads) {
    startServer();
    for (int kind : {0, 1}) {
        auto socket = connectTo(port);
        ASSERT_EQ(handshakeAndQuery(*socket, queryText("joe", kind, net::localHostName())),
                  kAccepted);
        sendBytes(*socket, int32Bytes(0));
        EXPECT_EQ(readToEnd(*socket), "");
    }
    ASSERT_TRUE(waitForPosts(net::kNotifyRecordArrived, 1));
    ASSERT_TRUE(waitForPosts(net::kNotifyListArrived, 1));
    // A new, empty record is added; an empty list adds nothing.
    EXPECT_TRUE(server->drainRecords(history));
    ASSERT_EQ(inbox->count(), 1u);
    EXPECT_EQ(inbox->at(0)->textUtf8(), "");
    EXPECT_FALSE(server->drainLists(history));
    EXPECT_EQ(inbox->count(), 1u);
}

TEST_F(ServerTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    net::ServerSettings settings = loopbackSettings();
    settings.maxConnections = 2;
    startServer(settings);
    auto first = connectTo(port);
    auto second = connectTo(port);
    sendBytes(*first, kHandshakeBytes);
    sendBytes(*second, kHandshakeBytes);
    EXPECT_EQ(readBytes(*first, 4), kHandshakeBytes);
    EXPECT_EQ(readBytes(*second, 4), kHandshakeBytes);
    auto third = connectTo(port);
    EXPECT_EQ(readToEnd(*third), "");
    first.reset();
    second.reset();
    // Once the server has seen the others go, there is room again.
    bool served = false;
    for (auto deadline = std::chrono::steady_clock::now() + kWait;
         !served && std::chrono::steady_clock::now() < deadline;) {
        try {
            auto socket = connectTo(port);
            sendBytes(*socket, kHandshakeBytes);
            served = readBytes(*socket, 4) == kHandshakeBytes;
        } catch (...) {
            std::this_thread::sleep_for(20ms);
        }
    }
    EXPECT_TRUE(served);
}

TEST_F(ServerTest, UpdateFollowsTheOptionsAndRestartsOnTheNewPort) {
    server = std::make_unique<net::Server>(config, loopbackSettings());
    config.setBool(kOptReceiveEnabled, false);
    server->update();
    EXPECT_FALSE(server->running());

    const uint16_t first = closedPort();
    config.setBool(kOptReceiveEnabled, true);
    config.setPort(kOptServerPort, first);
    server->update();
    ASSERT_TRUE(server->running());
    EXPECT_EQ(server->listeningPort(), first);
    connectTo(first);

    const uint16_t second = closedPort();
    config.setPort(kOptServerPort, second);
    server->update();
    ASSERT_TRUE(server->running());
    EXPECT_EQ(server->listeningPort(), second);
    EXPECT_THROW(connectTo(first), asio::system_error);
    // Restarting on an unchanged port works even while a connection the server closed
    // lingers on it.
    {
        auto socket = connectTo(second);
        sendBytes(*socket, "nope");
        EXPECT_EQ(readToEnd(*socket), "");
    }
    server->update();
    ASSERT_TRUE(server->running()) << server->lastError();
    EXPECT_EQ(server->listeningPort(), second);

    config.setBool(kOptReceiveEnabled, false);
    server->update();
    EXPECT_FALSE(server->running());
    EXPECT_EQ(server->listeningPort(), 0);
    EXPECT_THROW(connectTo(second), asio::system_error);
}

TEST_F(ServerTest, APortInUseIsReportedAndKeptAsTheLastError) {
    LoopbackListener occupant;
    config.setPort(kOptServerPort, occupant.port());
    server = std::make_unique<net::Server>(config, loopbackSettings());
    EXPECT_FALSE(server->start());
    EXPECT_FALSE(server->running());
    EXPECT_NE(server->lastError(), "");
    // A later start on a free port clears it.
    config.setPort(kOptServerPort, 0);
    EXPECT_TRUE(server->start());
    EXPECT_EQ(server->lastError(), "");
}

TEST_F(ServerTest, StopEndsConnectionsInProgress) {
    startServer();
    auto socket = connectTo(port);
    sendBytes(*socket, kHandshakeBytes);
    EXPECT_EQ(readBytes(*socket, 4), kHandshakeBytes);
    EXPECT_TRUE(server->stop());
    EXPECT_FALSE(server->running());
    EXPECT_EQ(readToEnd(*socket), "");
    EXPECT_TRUE(server->stop());  // stopping a stopped server
}

TEST_F(ServerTest, ShutdownStopsNotifyingButKeepsQueuing) {
    startServer();
    server->shutdown();
    EXPECT_TRUE(server->shuttingDown());
    EXPECT_FALSE(server->running());
    server->deliver(TrustedClient("h", "", "Inbox"), makeRecord("late"));
    EXPECT_TRUE(target->posts().empty());
    EXPECT_TRUE(server->drainRecords(history));
    EXPECT_EQ(texts(*inbox), std::vector<std::string>{"late"});
}

// The drains, fed directly.
class DrainTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = std::make_unique<net::Server>(config, loopbackSettings());
        server->setNotifyTarget(target);
    }
};

TEST_F(DrainTest, EntriesWithoutTheirListAreDropped) {
    server->deliver(TrustedClient("h", "", "Missing"), makeRecord("lost"));
    server->deliver(TrustedClient("h", "", "inbox"), makeRecord("wrong case"));
    EXPECT_EQ(target->posts(), (std::vector<Post>{{net::kMsgNetNotify, 8, 0},
                                                  {net::kMsgNetNotify, 8, 0}}));
    EXPECT_FALSE(server->drainRecords(history));
    server->deliver(TrustedClient("h", "", "Inbox"), makeRecord("kept"));
    EXPECT_TRUE(server->drainRecords(history));
    EXPECT_EQ(texts(*inbox), std::vector<std::string>{"kept"});
}

TEST_F(DrainTest, AFullListThatKeepsOldRecordsStillTakesEveryRecord) {
    inbox->setMaxCount(2);
    inbox->setDiscardOld(false);
    inbox->add(makeRecord("old2"));
    inbox->add(makeRecord("old1"));
    auto list = std::make_shared<cb::RecordList>();
    list->add(makeRecord("n3"));
    list->add(makeRecord("n2"));
    list->add(makeRecord("n1"));
    server->deliver(TrustedClient("h", "", "Inbox"), list);
    EXPECT_TRUE(server->drain(net::kNotifyListArrived, history));
    EXPECT_EQ(texts(*inbox), (std::vector<std::string>{"n1", "n2", "n3", "old1", "old2"}));
}

TEST_F(DrainTest, AHistoryAddsItsListsInOrder) {
    auto received = std::make_shared<cb::History>();
    auto* a = new cb::RecordList(u"A");
    a->add(makeRecord("a2"));
    a->add(makeRecord("a1"));
    auto* b = new cb::RecordList(u"B");
    b->add(makeRecord("b1"));
    ASSERT_TRUE(received->insertList(a, 0));
    ASSERT_TRUE(received->insertList(b, 1));
    server->deliver(TrustedClient("h", "", "Other"), received);
    EXPECT_FALSE(server->drain(net::kNotifyRecordArrived, history));
    EXPECT_FALSE(server->drain(3, history));
    EXPECT_TRUE(server->drain(net::kNotifyHistoryArrived, history));
    EXPECT_EQ(texts(*history.findListByName(u"Other")),
              (std::vector<std::string>{"b1", "a1", "a2"}));
    EXPECT_EQ(target->posts(), (std::vector<Post>{{net::kMsgNetNotify, 6, 0}}));
}

}  // namespace
