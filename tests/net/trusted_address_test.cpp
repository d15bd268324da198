// A trusted client is taken only from an address its host has: what a peer claims about itself
// in its query does not suffice.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <asio.hpp>
#include <boost/make_shared.hpp>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/codec.h"
#include "net/messages.h"
#include "net/server.h"
#include "net/trust.h"
#include "net/trusted_address_book.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kPeerAddress = 0x7F000002;  // 127.0.0.2: where "peer.test" is

net::QueryInfo query(const std::string& user, const std::string& host) {
    net::QueryInfo q;
    q.userName = user;
    q.hostName = host;
    q.objectKind = net::kObjectRecord;
    return q;
}

TEST(DecideTrust, TheAddressDecidesBeforeTheName) {
    TrustedClientList clients;
    clients.clients = {{"peer.test", "", "A"}, {"10.0.0.9", "", "B"}, {"other.test", "", "C"}};
    const std::map<std::string, std::vector<uint32_t>> addresses = {
        {"peer.test", {0x0A000001, kPeerAddress}},
        {"10.0.0.9", {0x0A000009}},
        {"alias.test", {kPeerAddress}},
        {"nowhere.test", {}},
    };
    auto known = [&](const std::string& host) -> std::optional<std::vector<uint32_t>> {
        auto it = addresses.find(host);
        if (it == addresses.end()) return std::nullopt;
        return it->second;
    };
    struct Case {
        const char* name;
        const char* claimed;
        std::optional<uint32_t> remote;
        const char* list;    // the list of the matching client, "" for none
        const char* lookUp;  // the host the decision waits for, "" for none
    };
    const Case cases[] = {
        {"claimed name from one of its addresses", "peer.test", kPeerAddress, "A", ""},
        // Refused by the first client; the last one's host has not been looked up yet.
        {"claimed name from elsewhere", "peer.test", 0x7F000003, "", "other.test"},
        {"claimed name without the check", "peer.test", std::nullopt, "A", ""},
        {"a literal host compares directly", "anything", 0x0A000009, "", "anything"},
        {"another name of the same address", "alias.test", kPeerAddress, "A", ""},
        {"a name that resolves nowhere", "nowhere.test", kPeerAddress, "", "other.test"},
        {"the claimed name must be looked up first", "fresh.test", kPeerAddress, "", "fresh.test"},
    };
    for (const Case& c : cases) {
        const net::TrustDecision d =
            net::decideTrust(clients, query("joe", c.claimed), known, c.remote);
        EXPECT_EQ(d.client ? d.client->listName : std::string(), c.list) << c.name;
        EXPECT_EQ(d.lookUp.value_or(""), c.lookUp) << c.name;
    }
}

// A resolver the test controls: known names answer at once, "slow.test" only when released.
class FakeResolver {
public:
    std::vector<uint32_t> operator()(const std::string& host) {
        if (host == "peer.test") return {kPeerAddress};
        if (host == "slow.test") {
            std::unique_lock<std::mutex> lock(mutex_);
            slowCalls_++;
            changed_.notify_all();
            changed_.wait_for(lock, 10s, [this] { return released_; });
        }
        return {};
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool waitForSlowCall() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [this] { return slowCalls_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int slowCalls_ = 0;
    bool released_ = false;
};

// A peer on its own loopback address; every read gives up after a few seconds.
class Peer {
public:
    Peer(const std::string& from, uint16_t port) : socket_(io_) {
        socket_.open(asio::ip::tcp::v4());
        socket_.bind({asio::ip::make_address_v4(from), 0});
        timeval limit{5, 0};
        setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        socket_.connect({asio::ip::make_address_v4("127.0.0.1"), port});
    }

    // Handshake and query; the reply's result, or -100 when the connection broke.
    void sendQuery(const std::string& claimedHost) {
        write(int32Bytes(net::kHandshakeWord));
        const std::vector<char> encoded = net::encodeObject(query("joe", claimedHost));
        write(int32Bytes(static_cast<int32_t>(encoded.size())) +
              std::string(encoded.begin(), encoded.end()));
    }

    int32_t readResult() {
        try {
            read(4);  // the handshake echoed
            const std::string length = read(4);
            int32_t n = 0;
            std::memcpy(&n, length.data(), 4);
            const std::string block = read(static_cast<size_t>(n));
            net::ReplyInfo reply;
            net::decodeObject(std::vector<char>(block.begin(), block.end()), reply);
            return reply.result;
        } catch (const std::exception&) {
            return -100;
        }
    }

    void sendRecord(const std::string& text) {
        auto record = boost::make_shared<cb::Record>();
        record->setTextUtf8(text);
        const std::vector<char> encoded = net::encodeObject(*record);
        write(int32Bytes(static_cast<int32_t>(encoded.size())) +
              std::string(encoded.begin(), encoded.end()));
    }

private:
    static std::string int32Bytes(int32_t v) {
        std::string b(4, '\0');
        std::memcpy(b.data(), &v, 4);  // little-endian, as the wire wants on this machine
        return b;
    }
    void write(const std::string& bytes) { asio::write(socket_, asio::buffer(bytes)); }
    std::string read(size_t n) {
        std::string bytes(n, '\0');
        asio::read(socket_, asio::buffer(bytes));
        return bytes;
    }

    asio::io_context io_;
    asio::ip::tcp::socket socket_;
};

class AddressCheckTest : public testing::Test {
protected:
    void SetUp() override {
        config.setPort(kOptServerPort, 0);
        config.setBool(kOptReceiveEnabled, true);
        TrustedClientList clients;
        clients.clients = {{"peer.test", "", "Inbox"}};
        config.setTrustedClients(clients);
        inbox = new cb::RecordList(u"Inbox");
        history.insertList(inbox, 0);
    }

    void startServer() {
        net::ServerSettings settings;
        settings.bindAddress = "127.0.0.1";
        settings.ioTimeout = 5s;
        settings.resolver = [this](const std::string& host) { return resolver(host); };
        server = std::make_unique<net::Server>(config, settings);
        ASSERT_TRUE(server->start()) << server->lastError();
        port = server->listeningPort();
    }

    int32_t resultFor(const std::string& from, const std::string& claimed) {
        Peer peer(from, port);
        peer.sendQuery(claimed);
        return peer.readResult();
    }

    AppConfig config;
    cb::History history;
    cb::RecordList* inbox = nullptr;
    FakeResolver resolver;
    std::unique_ptr<net::Server> server;
    uint16_t port = 0;
};

TEST_F(AddressCheckTest, APeerClaimingATrustedNameIsTakenOnlyFromThatHostsAddress) {
    startServer();
    EXPECT_EQ(resultFor("127.0.0.3", "peer.test"), net::kResultUntrustedClient);

    Peer peer("127.0.0.2", port);
    peer.sendQuery("peer.test");
    ASSERT_EQ(peer.readResult(), net::kResultAccepted);
    peer.sendRecord("from the right address");
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!server->drainRecords(history) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(inbox->count(), 1u);
    EXPECT_EQ(inbox->at(0)->textUtf8(), "from the right address");
}

TEST_F(AddressCheckTest, SwitchedOffTheClaimedNameIsEnough) {
    config.setBool(kOptTrustedClientAddressCheck, false);
    startServer();
    EXPECT_EQ(resultFor("127.0.0.3", "peer.test"), net::kResultAccepted);
}

TEST_F(AddressCheckTest, ANameThatDoesNotResolveStallsNoOtherConnection) {
    startServer();
    // From the trusted host's address, but under another name: that name must be looked up.
    Peer slow("127.0.0.2", port);
    slow.sendQuery("slow.test");
    ASSERT_TRUE(resolver.waitForSlowCall());

    // Meanwhile another peer is answered at once.
    EXPECT_EQ(resultFor("127.0.0.2", "peer.test"), net::kResultAccepted);

    resolver.release();
    EXPECT_EQ(slow.readResult(), net::kResultUntrustedClient);
}

TEST(TrustedAddressBook, LooksTheHostsUpAheadAndAgainOnRequest) {
    std::mutex mutex;
    std::map<std::string, std::vector<uint32_t>> world = {{"a.test", {1, 2}}};
    net::TrustedAddressBook book(
        [&](const std::string& host) {
            std::lock_guard<std::mutex> lock(mutex);
            return world[host];
        },
        1h);
    EXPECT_EQ(book.addressesOf("a.test"), std::nullopt);
    EXPECT_EQ(book.addressesOf("10.0.0.1"), std::vector<uint32_t>{0x0A000001});

    TrustedClientList clients;
    clients.clients = {{"a.test", "", "L"}, {"b.test", "", "L"}};
    book.refresh(clients);
    auto waitRounds = [&](uint64_t n) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (book.rounds() < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        return book.rounds() >= n;
    };
    ASSERT_TRUE(waitRounds(1));
    EXPECT_EQ(book.addressesOf("a.test"), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(book.addressesOf("b.test"), std::vector<uint32_t>{});

    {
        std::lock_guard<std::mutex> lock(mutex);
        world["a.test"] = {3};
    }
    book.refresh(clients);
    ASSERT_TRUE(waitRounds(2));
    EXPECT_EQ(book.addressesOf("a.test"), std::vector<uint32_t>{3});
}

}  // namespace
