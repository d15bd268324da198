#include "net/trust.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "platform/text_codec.h"

namespace net {

namespace {

std::vector<uint32_t> lookUpIPv4(const std::string& host, bool all) {
    std::vector<uint32_t> addresses;
    if (host.empty()) return addresses;
    if (std::optional<uint32_t> dotted = parseIPv4(host)) return {*dotted};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return addresses;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr) continue;
        sockaddr_in address{};
        std::memcpy(&address, a->ai_addr, sizeof address);
        const uint32_t value = ntohl(address.sin_addr.s_addr);
        if (std::find(addresses.begin(), addresses.end(), value) == addresses.end())
            addresses.push_back(value);
        if (!all) break;
    }
    return addresses;
}

bool shareAnAddress(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    for (uint32_t x : a)
        if (std::find(b.begin(), b.end(), x) != b.end()) return true;
    return false;
}

}  // namespace

std::optional<uint32_t> parseIPv4(const std::string& text) {
    in_addr dotted{};
    if (inet_pton(AF_INET, text.c_str(), &dotted) == 1) return ntohl(dotted.s_addr);
    return std::nullopt;
}

std::optional<uint32_t> resolveIPv4(const std::string& host) {
    const std::vector<uint32_t> first = lookUpIPv4(host, false);
    if (first.empty()) return std::nullopt;
    return first.front();
}

std::vector<uint32_t> resolveAllIPv4(const std::string& host) { return lookUpIPv4(host, true); }

TrustDecision decideTrust(const TrustedClientList& clients, const QueryInfo& query,
                          const KnownAddresses& known, std::optional<uint32_t> remote) {
    const std::u16string queryHost = query.hostNameText();
    const std::u16string queryUser = platform::utf8ToUtf16(query.userName);
    const std::string claimedHost = platform::utf16ToUtf8(queryHost);

    for (const TrustedClient& client : clients.clients) {
        const std::u16string clientUser = platform::utf8ToUtf16(client.user);
        if (!clientUser.empty() && clientUser != queryUser) continue;

        std::optional<std::vector<uint32_t>> clientAddresses;
        if (remote) {
            clientAddresses = known(client.host);
            if (!clientAddresses) return {nullptr, client.host};
            if (std::find(clientAddresses->begin(), clientAddresses->end(), *remote) ==
                clientAddresses->end())
                continue;
        }

        if (platform::utf8ToUtf16(client.host) == queryHost) return {&client, std::nullopt};

        const std::optional<std::vector<uint32_t>> claimed = known(claimedHost);
        if (!claimed) return {nullptr, claimedHost};
        if (claimed->empty()) continue;
        if (!clientAddresses) clientAddresses = known(client.host);
        if (!clientAddresses) return {nullptr, client.host};
        if (shareAnAddress(*claimed, *clientAddresses)) return {&client, std::nullopt};
    }
    return {};
}

const TrustedClient* findTrustedClient(const TrustedClientList& clients, const QueryInfo& query,
                                       const HostResolver& resolve) {
    std::map<std::string, std::vector<uint32_t>> looked;
    auto known = [&](const std::string& host) -> std::optional<std::vector<uint32_t>> {
        auto it = looked.find(host);
        if (it == looked.end()) {
            std::vector<uint32_t> addresses;
            try {
                if (std::optional<uint32_t> a = resolve(host)) addresses.push_back(*a);
            } catch (const std::exception&) {
                // A resolver failure: this host matches nothing.
            }
            it = looked.emplace(host, std::move(addresses)).first;
        }
        return it->second;
    };
    return decideTrust(clients, query, known, std::nullopt).client;
}

}  // namespace net
