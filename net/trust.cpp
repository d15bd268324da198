#include "net/trust.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>

#include "platform/text_codec.h"

namespace net {

std::optional<uint32_t> resolveIPv4(const std::string& host) {
    if (host.empty()) return std::nullopt;
    in_addr dotted{};
    if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) return ntohl(dotted.s_addr);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            sockaddr_in address{};
            std::memcpy(&address, a->ai_addr, sizeof address);
            return ntohl(address.sin_addr.s_addr);
        }
    }
    return std::nullopt;
}

const TrustedClient* findTrustedClient(const TrustedClientList& clients, const QueryInfo& query,
                                       const HostResolver& resolve) {
    const std::u16string queryHost = query.hostNameText();
    const std::u16string queryUser = platform::utf8ToUtf16(query.userName);
    // Looked up at most once per query, and only when some client needs it.
    bool queryResolved = false;
    std::optional<uint32_t> queryAddress;

    for (const TrustedClient& client : clients.clients) {
        const std::u16string clientUser = platform::utf8ToUtf16(client.user);
        if (!clientUser.empty() && clientUser != queryUser) continue;

        const std::u16string clientHost = platform::utf8ToUtf16(client.host);
        if (clientHost == queryHost) return &client;
        try {
            if (!queryResolved) {
                queryAddress = resolve(platform::utf16ToUtf8(queryHost));
                queryResolved = true;
            }
            if (!queryAddress) continue;
            const std::optional<uint32_t> clientAddress = resolve(client.host);
            if (clientAddress && *clientAddress == *queryAddress) return &client;
        } catch (const std::exception&) {
            // A resolver failure is no match, for this client only.
        }
    }
    return nullptr;
}

}  // namespace net
