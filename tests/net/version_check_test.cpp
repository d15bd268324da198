// The new-version check against a local HTTP server.

#include "net/version_check.h"

#include <gtest/gtest.h>

#include <string>

#include "net/local_identity.h"
#include "net_test_support.h"
#include "persist/config/option_keys.h"

namespace {

using namespace nettest;

std::string httpResponse(const std::string& body, const std::string& status = "200 OK") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Reads the request head, answers with `response` and closes.
std::string serveOnce(LoopbackListener& listener, const std::string& response) {
    auto socket = listener.accept();
    std::string request;
    char c;
    while (request.find("\r\n\r\n") == std::string::npos) {
        net::readAll(*socket, &c, 1);
        request += c;
    }
    if (!response.empty()) sendBytes(*socket, response);
    return request;
}

class VersionCheckTest : public testing::Test {
protected:
    void SetUp() override {
        config.setBool(kOptCheckForNewVersion, true);
        config.setString(kOptVersionServerHost, u"127.0.0.1");
        config.setPort(kOptVersionServerPort, listener.port());
    }

    // Starts a check and waits for its result; null when nothing was posted.
    std::shared_ptr<net::VersionChecker> check(net::Timeouts timeouts = quickTimeouts()) {
        target = std::make_shared<RecordingTarget>();
        auto started = checks.start(target, config, timeouts);
        if (!started) return nullptr;
        if (!target->waitForCount(1)) return nullptr;
        const RecordingTarget::Post post = target->posts().at(0);
        EXPECT_EQ(post.message, net::kMsgVersionChecked);
        EXPECT_EQ(post.wParam, 0u);
        auto handled = checks.take(post.lParam);
        EXPECT_EQ(handled, started);
        return handled;
    }

    AppConfig config;
    LoopbackListener listener;
    std::shared_ptr<RecordingTarget> target;
    net::VersionChecks checks;
};

TEST_F(VersionCheckTest, AsksWithTheRequestPathAndReadsTheReply) {
    struct Case {
        const char* name;
        std::string response;
        int32_t latest;
        std::u16string link;
        bool newer;
    };
    const std::string longBody = std::string(95, ' ') + "4000900 https://late.invalid/";
    const Case cases[] = {
        {"newer", httpResponse("4000900 https://dl.example.invalid/quillet.tar.gz\n"), 4000900,
         u"https://dl.example.invalid/quillet.tar.gz", true},
        {"equal", httpResponse("4000803 https://x.invalid/"), 4000803, u"https://x.invalid/",
         false},
        {"older", httpResponse("3999999 l"), 3999999, u"l", false},
        {"garbage", httpResponse("<html><body>Not found</body></html>", "404 Not Found"), 4000803,
         u"", false},
        {"a number without a link", httpResponse("4000900"), 4000900, u"", true},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8\r\n4000901 \r\n"
         "a\r\nhttp://a/b\r\n0\r\n\r\n",
         4000901, u"http://a/b", true},
        {"no length, ends with the connection", "HTTP/1.0 200 OK\r\n\r\n4000902 z", 4000902,
         u"z", true},
        {"only the first 99 bytes count", httpResponse(longBody), 4000, u"", false},
        {"not HTTP", "4000900 https://x.invalid/\n", 4000803, u"", false},
        {"no answer at all", "", 4000803, u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string request;
        PeerThread server([&] { request = serveOnce(listener, c.response); });
        auto checker = check();
        ASSERT_EQ(server.join(), "");
        ASSERT_NE(checker, nullptr);
        EXPECT_EQ(checker->latestVersion(), c.latest);
        EXPECT_EQ(checker->downloadLink(), c.link);
        EXPECT_EQ(checker->newerVersionAvailable(), c.newer);
        EXPECT_EQ(request.substr(0, request.find("\r\n")),
                  "GET /check_version.php?app=quillet&dev=1&cur_ver=4000803&os=" +
                      std::to_string(net::osBuildNumber()) + " HTTP/1.1");
        EXPECT_NE(request.find("\r\nUser-Agent: Http Get\r\n"), std::string::npos);
        EXPECT_NE(request.find("\r\nHost: 127.0.0.1:" + std::to_string(listener.port()) + "\r\n"),
                  std::string::npos);
        EXPECT_NE(request.find("\r\nCache-Control: no-cache\r\n"), std::string::npos);
    }
    EXPECT_TRUE(checks.pending().empty());
}

TEST_F(VersionCheckTest, UnreachableOrSilentServersMeanNoNewVersion) {
    config.setPort(kOptVersionServerPort, closedPort());
    auto refused = check();
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->latestVersion(), 4000803);

    config.setPort(kOptVersionServerPort, listener.port());
    PeerThread silent([&] {
        auto socket = listener.accept();
        readToEnd(*socket);
    });
    auto timedOut = check(net::Timeouts{1000ms, 200ms});
    ASSERT_EQ(silent.join(), "");
    ASSERT_NE(timedOut, nullptr);
    EXPECT_FALSE(timedOut->newerVersionAvailable());
    EXPECT_EQ(timedOut->downloadLink(), u"");
}

TEST_F(VersionCheckTest, NothingHappensWithoutAServerOrWhenSwitchedOff) {
    const size_t pending = checks.pending().size();
    config.setString(kOptVersionServerHost, u"");
    EXPECT_EQ(checks.start(target, config), nullptr);
    config.setString(kOptVersionServerHost, u"127.0.0.1");
    config.setBool(kOptCheckForNewVersion, false);
    EXPECT_EQ(checks.start(target, config), nullptr);
    AppConfig defaults;
    defaults.setBool(kOptCheckForNewVersion, true);
    EXPECT_EQ(net::configuredVersionServer(defaults).host, "");
    EXPECT_EQ(net::configuredVersionServer(defaults).port, 80);
    EXPECT_EQ(checks.start(target, defaults), nullptr);
    EXPECT_EQ(checks.pending().size(), pending);
    EXPECT_EQ(checks.take(12345), nullptr);
}

TEST_F(VersionCheckTest, ADetachedWindowGetsNothing) {
    target = std::make_shared<RecordingTarget>();
    net::VersionChecker checker(target, net::VersionServer{"127.0.0.1", listener.port()},
                                net::versionRequestPath(1), quickTimeouts());
    checker.detachWindow();
    PeerThread server([&] { serveOnce(listener, httpResponse("4000900 l")); });
    checker.run();
    ASSERT_EQ(server.join(), "");
    EXPECT_TRUE(target->posts().empty());
    EXPECT_EQ(checker.latestVersion(), 4000900);
}

TEST(ParseVersionReply, Words) {
    struct Case {
        std::string body;
        int32_t latest;
        std::u16string link;
    };
    const Case cases[] = {
        {"  4000900\tlink  more", 4000900, u"link"},
        {"4000900\r\nhttp://l\r\n", 4000900, u"http://l"},
        {"abc 4000900", 4000803, u""},
        {"", 4000803, u""},
        {"99999999999 x", 4000803, u""},  // beyond 32 bits: no number
        {std::string("4000900\0 hidden", 15), 4000900, u""},
        {"4000900 caf\xE9", 4000900, u"caf\u00E9"},  // the link is in the ANSI code page
    };
    for (const Case& c : cases) {
        const net::VersionReply reply = net::parseVersionReply(c.body);
        EXPECT_EQ(reply.latestVersion, c.latest) << c.body;
        EXPECT_EQ(reply.downloadLink, c.link) << c.body;
    }
}

TEST(VersionRequest, PathAndOsNumber) {
    EXPECT_EQ(net::versionRequestPath(2600),
              "check_version.php?app=quillet&dev=1&cur_ver=4000803&os=2600");
    EXPECT_GT(net::osBuildNumber(), 2000000);  // a kernel of version 2 or later
}

}  // namespace
