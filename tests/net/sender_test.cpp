// The sending side against receiving peers played by the test on loopback.

#include "net/sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "model/record.h"
#include "model/record_list.h"
#include "net/local_identity.h"
#include "net/network_log.h"
#include "net_test_support.h"
#include "persist/config/option_keys.h"

namespace {

using namespace nettest;
using Post = RecordingTarget::Post;

const std::string kAcceptedReply = framed(zlibCompress(kArchiveHeader + "0 0 0 4000803 0 1\n"));

std::string replyWithResult(int result) {
    return framed(
        zlibCompress(kArchiveHeader + "0 0 " + std::to_string(result) + " 4000803 0 1\n"));
}

std::shared_ptr<const std::vector<char>> bytesOf(size_t n) {
    auto bytes = std::make_shared<std::vector<char>>(n);
    for (size_t i = 0; i < n; ++i) (*bytes)[i] = static_cast<char>(i * 7);
    return bytes;
}

Post state(int32_t s, intptr_t param = 0) {
    return Post{net::kMsgNetNotify, static_cast<uintptr_t>(s), param};
}

// A receiving peer up to its reply; then it reads whatever else comes until the sender closes.
struct PeerLog {
    std::string query;
    std::string afterReply;
};

void answer(LoopbackListener& listener, const std::string& echo, const std::string& reply,
            PeerLog& seen) {
    auto socket = listener.accept();
    EXPECT_EQ(readBytes(*socket, 4), kHandshakeBytes);
    sendBytes(*socket, echo);
    const int32_t length = net::readInt(*socket);
    seen.query = zlibDecompress(readBytes(*socket, static_cast<size_t>(length)));
    sendBytes(*socket, reply);
    seen.afterReply = readToEnd(*socket);
}

class SenderTest : public testing::Test {
protected:
    std::shared_ptr<net::Sender> makeSender(net::Timeouts timeouts = quickTimeouts()) {
        net::SenderSettings settings;
        settings.timeouts = timeouts;
        settings.shuttingDown = [this] { return shuttingDown.load(); };
        settings.log = log;
        auto sender = std::make_shared<net::Sender>(settings);
        sender->setNotifyTarget(target);
        return sender;
    }

    NetworkAddress address() const { return NetworkAddress("127.0.0.1", listener.port()); }
    std::string display() const { return "127.0.0.1 : " + std::to_string(listener.port()); }

    LoopbackListener listener;
    std::shared_ptr<net::NetworkLog> log = std::make_shared<net::NetworkLog>();
    std::atomic<bool> shuttingDown{false};
    std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
};

TEST_F(SenderTest, PrepareFillsTheQuery) {
    cb::Record record;
    record.setTextUtf8("t");
    auto sender = makeSender();
    ASSERT_TRUE(sender->prepare(address(), record));
    EXPECT_EQ(sender->query().objectKind, net::kObjectRecord);
    EXPECT_EQ(sender->query().appVersion, 4000803);
    EXPECT_EQ(sender->query().flags, 0);
    EXPECT_EQ(sender->query().revision, 1);
    EXPECT_EQ(sender->query().userName, net::loginName());
    EXPECT_GT(sender->payloadSize(), 0u);

    cb::RecordList list(u"L");
    ASSERT_TRUE(sender->prepare(address(), list));
    EXPECT_EQ(sender->query().objectKind, net::kObjectRecordList);
    EXPECT_EQ(sender->state(), net::kSendNotStarted);
}

TEST_F(SenderTest, NothingToSendOrTooMuchIsNotPrepared) {
    auto sender = makeSender();
    EXPECT_FALSE(sender->prepareEncoded(address(), 0, nullptr));
    EXPECT_FALSE(sender->prepareEncoded(address(), 0, std::make_shared<std::vector<char>>()));
    EXPECT_FALSE(sender->prepareEncoded(
        address(), 0, std::make_shared<std::vector<char>>(net::kMaxPayloadBytes + 1)));
}

TEST_F(SenderTest, PayloadGoesOutInPiecesWithProgress) {
    struct Case {
        size_t size;
        std::vector<Post> posts;
    };
    const Case cases[] = {
        {1, {state(3, 0), state(5)}},
        {1024, {state(3, 0), state(5)}},
        {1025, {state(3, 0), state(3, 1024), state(3, 1025), state(5)}},
        {3000, {state(3, 0), state(3, 1024), state(3, 2048), state(3, 3000), state(5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        target = std::make_shared<RecordingTarget>();
        auto sender = makeSender();
        const auto payload = bytesOf(c.size);
        ASSERT_TRUE(sender->prepareEncoded(address(), net::kObjectRecord, payload));
        PeerLog seen;
        PeerThread peer([&] { answer(listener, kHandshakeBytes, kAcceptedReply, seen); });
        sender->run();
        ASSERT_EQ(peer.join(), "");
        EXPECT_EQ(seen.afterReply, int32Bytes(static_cast<int32_t>(c.size)) +
                                       std::string(payload->begin(), payload->end()));
        EXPECT_EQ(target->posts(), c.posts);
        EXPECT_EQ(sender->state(), net::kSendFinished);
    }
    EXPECT_EQ(log->size(), std::size(cases));
    EXPECT_EQ(log->entries().back().text, "Object has been sent to " + display());
}

TEST_F(SenderTest, AnyNonZeroResultIsARejection) {
    const std::string replies[] = {replyWithResult(2), replyWithResult(3), replyWithResult(-1),
                                   int32Bytes(0)};  // an empty reply block leaves result -1
    for (const std::string& reply : replies) {
        target = std::make_shared<RecordingTarget>();
        auto sender = makeSender();
        ASSERT_TRUE(sender->prepareEncoded(address(), net::kObjectRecord, bytesOf(10)));
        PeerLog seen;
        PeerThread peer([&] { answer(listener, kHandshakeBytes, reply, seen); });
        sender->run();
        ASSERT_EQ(peer.join(), "");
        EXPECT_EQ(seen.afterReply, "");  // no payload after a rejection
        EXPECT_EQ(target->posts(), std::vector<Post>{state(net::kSendRejected)});
    }
    EXPECT_EQ(log->size(), 0u);
}

TEST_F(SenderTest, ProtocolFailuresAreLogged) {
    struct Case {
        const char* name;
        std::function<void(net::BlockingSocket&)> peer;
    };
    const Case cases[] = {
        {"wrong echo", [](net::BlockingSocket& s) {
             readBytes(s, 4);
             sendBytes(s, std::string(4, '\0'));
             readToEnd(s);
         }},
        {"closed without echo", [](net::BlockingSocket& s) { readBytes(s, 4); }},
        {"closed inside the reply", [](net::BlockingSocket& s) {
             readBytes(s, 4);
             sendBytes(s, kHandshakeBytes);
             readBytes(s, static_cast<size_t>(net::readInt(s)));
             sendBytes(s, kAcceptedReply.substr(0, 6));
         }},
        {"reply length out of bounds", [](net::BlockingSocket& s) {
             readBytes(s, 4);
             sendBytes(s, kHandshakeBytes);
             readBytes(s, static_cast<size_t>(net::readInt(s)));
             sendBytes(s, int32Bytes(-2));
             readToEnd(s);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target = std::make_shared<RecordingTarget>();
        auto sender = makeSender();
        ASSERT_TRUE(sender->prepareEncoded(address(), net::kObjectRecord, bytesOf(10)));
        PeerThread peer([&] {
            auto socket = listener.accept();
            c.peer(*socket);
        });
        sender->run();
        ASSERT_EQ(peer.join(), "");
        EXPECT_EQ(target->posts(), std::vector<Post>{state(net::kSendFailed)});
        ASSERT_GE(log->size(), 1u);
        EXPECT_EQ(log->entries().back().text, "Failed to send object to " + display());
    }
    EXPECT_EQ(log->size(), std::size(cases));
}

TEST_F(SenderTest, SocketFailuresAreNotLogged) {
    struct Case {
        const char* name;
        NetworkAddress address;
        std::function<void(net::BlockingSocket&)> peer;  // none: nobody answers
    };
    const uint16_t closed = closedPort();
    const Case cases[] = {
        {"connection refused", NetworkAddress("127.0.0.1", closed), nullptr},
        {"port out of range", NetworkAddress("127.0.0.1", 70000), nullptr},
        {"no port", NetworkAddress("127.0.0.1", -1), nullptr},
        {"undecodable reply", address(), [](net::BlockingSocket& s) {
             readBytes(s, 4);
             sendBytes(s, kHandshakeBytes);
             readBytes(s, static_cast<size_t>(net::readInt(s)));
             sendBytes(s, framed("not a zlib stream"));
             readToEnd(s);
         }},
        {"silent receiver", address(), [](net::BlockingSocket& s) { readToEnd(s); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target = std::make_shared<RecordingTarget>();
        auto sender = makeSender(net::Timeouts{1000ms, 200ms});
        ASSERT_TRUE(sender->prepareEncoded(c.address, net::kObjectRecord, bytesOf(10)));
        std::unique_ptr<PeerThread> peer;
        if (c.peer)
            peer = std::make_unique<PeerThread>([&] {
                auto socket = listener.accept();
                c.peer(*socket);
            });
        sender->run();
        if (peer) {
            ASSERT_EQ(peer->join(), "");
        }
        EXPECT_EQ(target->posts(), std::vector<Post>{state(net::kSendFailed)});
    }
    EXPECT_EQ(log->size(), 0u);
}

TEST_F(SenderTest, AnEmptyHostIsNotThisComputer) {
    net::BlockingSocket socket(quickTimeouts());
    try {
        socket.connect("", listener.port());
        ADD_FAILURE() << "connected to an empty host name";
    } catch (const asio::system_error& e) {
        EXPECT_EQ(e.code(), asio::error::host_not_found);
    }
    EXPECT_THROW(listener.accept(quickTimeouts(), 100ms), std::runtime_error);
}

TEST_F(SenderTest, CancelOrShutdownWhileWaitingForTheReplyAbandonsSilently) {
    for (bool byCancel : {true, false}) {
        SCOPED_TRACE(byCancel ? "cancel" : "shutdown");
        shuttingDown = false;
        target = std::make_shared<RecordingTarget>();
        auto sender = makeSender();
        ASSERT_TRUE(sender->prepareEncoded(address(), net::kObjectRecord, bytesOf(3000)));
        std::promise<void> queryArrived, replyAllowed;
        std::string afterReply;
        PeerThread peer([&] {
            auto socket = listener.accept();
            readBytes(*socket, 4);
            sendBytes(*socket, kHandshakeBytes);
            readBytes(*socket, static_cast<size_t>(net::readInt(*socket)));
            queryArrived.set_value();
            replyAllowed.get_future().wait_for(kWait);
            try {
                sendBytes(*socket, kAcceptedReply);
            } catch (...) {
            }
            afterReply = readToEnd(*socket);
        });
        sender->start();
        ASSERT_EQ(queryArrived.get_future().wait_for(kWait), std::future_status::ready);
        if (byCancel) sender->cancel();
        else shuttingDown = true;
        replyAllowed.set_value();
        ASSERT_EQ(peer.join(), "");
        EXPECT_EQ(afterReply, "");  // the connection closed without a payload
        EXPECT_TRUE(target->posts().empty());
        EXPECT_EQ(sender->state(), net::kSendNotStarted);
        EXPECT_EQ(sender->cancelled(), byCancel);
        // The thread lets go of the sender once it has abandoned.
        EXPECT_TRUE(waitUntil([&] { return sender.use_count() == 1; }));
    }
    EXPECT_EQ(log->size(), 0u);
}

TEST_F(SenderTest, CapturedRecordsGoToEveryAutomaticHost) {
    LoopbackListener second;
    cb::Record record;
    record.setTextUtf8("auto");
    AppConfig config;
    config.autoSendHosts() = {NetworkAddress("127.0.0.1", closedPort()), address(),
                              NetworkAddress("127.0.0.1", second.port())};
    net::SenderSettings settings;
    settings.timeouts = quickTimeouts();
    settings.shuttingDown = [] { return false; };

    // Off: nothing starts.
    EXPECT_EQ(net::sendCapturedRecord(record, config, settings), 0u);

    config.setBool(kOptAutoSend, true);
    const std::string expected =
        kArchiveHeader + "1 1 0 0 0 0 4 auto 0  0 -1 0 0 0 8 0 0 0 0 0 0 0 0\n";
    PeerLog first, other;
    PeerThread peer1([&] { answer(listener, kHandshakeBytes, kAcceptedReply, first); });
    PeerThread peer2([&] { answer(second, kHandshakeBytes, kAcceptedReply, other); });
    // The unreachable host is first in the list and delays neither of the others.
    EXPECT_EQ(net::sendCapturedRecord(record, config, settings), 3u);
    ASSERT_EQ(peer1.join(), "");
    ASSERT_EQ(peer2.join(), "");
    for (const PeerLog* seen : {&first, &other}) {
        EXPECT_EQ(seen->query.find(kArchiveHeader + "0 1 "), 0u);
        ASSERT_GT(seen->afterReply.size(), 4u);
        EXPECT_EQ(zlibDecompress(seen->afterReply.substr(4)), expected);
    }
}

}  // namespace
