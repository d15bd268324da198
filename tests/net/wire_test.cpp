// The bytes of one exchange, in both directions, against byte strings written by hand from the
// protocol's definition.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/mblock.h"
#include "model/record.h"
#include "net/local_identity.h"
#include "net/network_log.h"
#include "net/sender.h"
#include "net/server.h"
#include "net_test_support.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"

namespace {

using namespace nettest;

std::string counted(const std::string& s) { return std::to_string(s.size()) + " " + s; }

std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

// Equal as bytes, and token by token for a readable difference when they are not.
void expectSameArchive(const std::string& actualZlib, const std::string& expectedText) {
    const std::string actual = zlibDecompress(actualZlib);
    EXPECT_EQ(tokens(actual), tokens(expectedText));
    EXPECT_EQ(actual, expectedText);
    EXPECT_EQ(actualZlib, zlibCompress(expectedText));
}

TEST(Wire, WhatASenderWrites) {
    LoopbackListener listener;
    auto log = std::make_shared<net::NetworkLog>();
    net::SenderSettings settings;
    settings.timeouts = quickTimeouts();
    settings.shuttingDown = [] { return false; };
    settings.log = log;

    cb::Record record;
    record.setPayload(cmn::mblock<char>(std::string_view("abc")));
    record.setTextUtf8("hello");
    record.setApplicationUtf8("app");
    auto sender = std::make_shared<net::Sender>(settings);
    ASSERT_TRUE(sender->prepare(NetworkAddress("127.0.0.1", listener.port()), record));

    std::string handshake, queryLength, query, payloadLength, payload, rest;
    PeerThread peer([&] {
        auto socket = listener.accept();
        handshake = readBytes(*socket, 4);
        sendBytes(*socket, kHandshakeBytes);
        queryLength = readBytes(*socket, 4);
        query = readBytes(*socket, static_cast<size_t>(net::loadInt32(queryLength.data())));
        sendBytes(*socket, framed(zlibCompress(kArchiveHeader + "0 0 0 4000803 0 1\n")));
        payloadLength = readBytes(*socket, 4);
        payload = readBytes(*socket, static_cast<size_t>(net::loadInt32(payloadLength.data())));
        rest = readToEnd(*socket);
    });
    sender->run();
    ASSERT_EQ(peer.join(), "");

    EXPECT_EQ(handshake, "\xAC\x87\x06\x0A");
    const std::string host = platform::utf16ToAnsi(platform::utf8ToUtf16(net::localHostName()));
    const std::string queryText = kArchiveHeader + "0 1 " + counted(net::loginName()) +
                                  " 0 4000803 0 1 " + counted(host) + "\n";
    EXPECT_EQ(queryLength, int32Bytes(static_cast<int32_t>(query.size())));
    expectSameArchive(query, queryText);
    EXPECT_EQ(payloadLength, int32Bytes(static_cast<int32_t>(payload.size())));
    expectSameArchive(payload, kArchiveHeader +
                                   "1 1 0 0 0 3\n\nYWJj=\n5 hello 3 app 0 -1 0 0 0 8 0 0 0 0 0 0 0 0\n");
    EXPECT_EQ(rest, "");  // the sender closes after its last write
    EXPECT_EQ(sender->state(), net::kSendFinished);
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ(log->entries()[0].text,
              "Object has been sent to 127.0.0.1 : " + std::to_string(listener.port()));
}

TEST(Wire, WhatTheReceiverWrites) {
    AppConfig config;
    config.setPort(kOptServerPort, 0);
    TrustedClientList clients;
    clients.clients = {{"pc9", "", "Main"}};
    config.setTrustedClients(clients);
    net::ServerSettings settings;
    settings.bindAddress = "127.0.0.1";
    // The peer connects from loopback.
    settings.resolver = [](const std::string& host) {
        return host == "pc9" ? std::vector<uint32_t>{0x7F000001} : std::vector<uint32_t>{};
    };
    net::Server server(config, settings);
    auto target = std::make_shared<RecordingTarget>();
    server.setNotifyTarget(target);
    ASSERT_TRUE(server.start()) << server.lastError();

    struct Case {
        std::string query;
        std::string reply;
        bool sendsPayload;
    };
    const Case cases[] = {
        {kArchiveHeader + "0 1 3 bob 0 4000803 0 1 3 pc9\n", kArchiveHeader + "0 0 0 4000803 0 1\n",
         true},
        {kArchiveHeader + "0 1 3 bob 0 4000803 0 1 3 pc8\n", kArchiveHeader + "0 0 3 4000803 4 1\n",
         false},
        {kArchiveHeader + "0 1 3 bob 5 4000803 0 1 3 pc9\n", kArchiveHeader + "0 0 2 4000803 0 1\n",
         false},
        // An older peer: class version 0, no host name, so it matches no client by host.
        {kArchiveHeader + "0 0 3 bob 0 4000000 0 1\n", kArchiveHeader + "0 0 3 4000803 4 1\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        auto socket = connectTo(server.listeningPort());
        sendBytes(*socket, kHandshakeBytes + framed(zlibCompress(c.query)));
        if (c.sendsPayload)
            sendBytes(*socket, framed(zlibCompress(kArchiveHeader +
                                                   "1 1 0 0 0 0 1 r 0  0 -1 0 0 0 8 0 0 0 0 0 0 0 0\n")));
        const std::string written = readToEnd(*socket);
        // The echo, then the reply: a length and a zlib stream, and nothing after it.
        ASSERT_GE(written.size(), 8u);
        EXPECT_EQ(written.substr(0, 4), "\xAC\x87\x06\x0A");
        EXPECT_EQ(written.substr(4, 4), int32Bytes(static_cast<int32_t>(written.size() - 8)));
        expectSameArchive(written.substr(8), c.reply);
    }
    ASSERT_TRUE(target->waitForCount(1));
    EXPECT_EQ(target->posts(),
              (std::vector<RecordingTarget::Post>{{net::kMsgNetNotify, net::kNotifyRecordArrived, 0}}));
}

}  // namespace
