// Which trusted client a query matches.

#include "net/trust.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

// A resolver that knows a few names; everything else does not resolve.
std::optional<uint32_t> fakeResolve(const std::string& host) {
    static const std::map<std::string, uint32_t> known = {
        {"alpha", 0x0A000001},     // 10.0.0.1
        {"ALPHA", 0x0A000001},
        {"alpha-alias", 0x0A000001},
        {"beta", 0x0A000002},
        {"10.0.0.1", 0x0A000001},
    };
    auto it = known.find(host);
    if (it == known.end()) return std::nullopt;
    return it->second;
}

net::QueryInfo query(std::string user, std::string host) {
    net::QueryInfo q;
    q.userName = std::move(user);
    q.objectKind = net::kObjectRecord;
    q.hostName = std::move(host);
    return q;
}

TEST(FindTrustedClient, Cases) {
    struct Case {
        const char* name;
        std::vector<TrustedClient> clients;
        net::QueryInfo query;
        int expected;  // index of the matching client, -1 for none
    };
    const Case cases[] = {
        {"exact host, any user", {{"alpha", "", "In"}}, query("joe", "alpha"), 0},
        {"exact host and user", {{"alpha", "joe", "In"}}, query("joe", "alpha"), 0},
        {"user differs", {{"alpha", "ann", "In"}}, query("joe", "alpha"), -1},
        {"user is case-sensitive", {{"alpha", "Joe", "In"}}, query("joe", "alpha"), -1},
        {"letter case differs, same address", {{"ALPHA", "", "In"}}, query("joe", "alpha"), 0},
        {"alias of the same address", {{"alpha-alias", "", "In"}}, query("joe", "alpha"), 0},
        {"dotted text against a name", {{"10.0.0.1", "", "In"}}, query("joe", "alpha"), 0},
        {"other address", {{"beta", "", "In"}}, query("joe", "alpha"), -1},
        {"two unknown names are not the same host", {{"nowhere", "", "In"}},
         query("joe", "elsewhere"), -1},
        {"query host unknown", {{"alpha", "", "In"}}, query("joe", "unknown"), -1},
        {"first match wins", {{"beta", "", "B"}, {"alpha", "", "A1"}, {"ALPHA", "", "A2"}},
         query("joe", "alpha"), 1},
        {"no clients", {}, query("joe", "alpha"), -1},
        {"host name in the ANSI code page", {{"pc-\xC3\xA9", "", "In"}},
         query("joe", "pc-\xE9"), 0},
    };
    for (const Case& c : cases) {
        TrustedClientList list;
        list.clients = c.clients;
        const TrustedClient* found = net::findTrustedClient(list, c.query, fakeResolve);
        const int index = found ? static_cast<int>(found - list.clients.data()) : -1;
        EXPECT_EQ(index, c.expected) << c.name;
    }
}

TEST(FindTrustedClient, AResolverThatThrowsMeansNoMatch) {
    TrustedClientList list;
    list.clients = {{"beta", "", "B"}, {"alpha", "", "A"}};
    int calls = 0;
    auto throwing = [&](const std::string& host) -> std::optional<uint32_t> {
        ++calls;
        if (host == "beta") throw std::runtime_error("resolver broke");
        return 0x0A000001;
    };
    const TrustedClient* found = net::findTrustedClient(list, query("joe", "gamma"), throwing);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->listName, "A");
}

TEST(ResolveIPv4, DottedTextAndLocalhost) {
    EXPECT_EQ(net::resolveIPv4("127.0.0.1"), std::optional<uint32_t>(0x7F000001));
    EXPECT_EQ(net::resolveIPv4("192.168.1.20"), std::optional<uint32_t>(0xC0A80114));
    EXPECT_EQ(net::resolveIPv4(""), std::nullopt);
    EXPECT_EQ(net::resolveIPv4("name.that.does.not.exist.invalid"), std::nullopt);
}

}  // namespace
