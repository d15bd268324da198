#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/messages.h"
#include "persist/config/trusted_client.h"

namespace net {

// Turns a host text (UTF-8, what the system's resolver takes here) into an IPv4 address in host
// byte order: dotted text as it is, any other name through the system's resolver (first
// address). Empty when it cannot.
using HostResolver = std::function<std::optional<uint32_t>(const std::string& host)>;

std::optional<uint32_t> resolveIPv4(const std::string& host);

// Every IPv4 address of a host text, in host byte order: dotted text as it is, any other name
// through the system's resolver. Empty when it does not resolve. May take as long as the
// system's resolver does: never called on the server thread.
using HostAddressResolver = std::function<std::vector<uint32_t>(const std::string& host)>;

std::vector<uint32_t> resolveAllIPv4(const std::string& host);

// Dotted-decimal text as an address in host byte order; nothing for any other text.
std::optional<uint32_t> parseIPv4(const std::string& text);

// What is known right now about the addresses of a host text: its addresses (empty when it does
// not resolve), or nothing when it has not been looked up yet. Never waits.
using KnownAddresses = std::function<std::optional<std::vector<uint32_t>>(const std::string& host)>;

struct TrustDecision {
    // The first trusted client that matches; null for none.
    const TrustedClient* client = nullptr;
    // Set when the decision needs the addresses of this host text first; client is null then.
    std::optional<std::string> lookUp;
};

// Which trusted client a query comes from, in list order, the first match winning:
// - User: the client's user is empty (anyone) or equals the query's user name.
// - Address, when `remote` (the connection's own address) is given: it must be one of the
//   addresses of the client's host. A peer can claim any name in its query; it cannot choose the
//   address its connection comes from.
// - Host: the client's host equals the query's host name exactly; otherwise both have an address
//   in common. A name that does not resolve matches nothing, so two unknown names are not taken
//   for the same computer.
TrustDecision decideTrust(const TrustedClientList& clients, const QueryInfo& query,
                          const KnownAddresses& known, std::optional<uint32_t> remote);

// The same decision on names alone (no address check), looking names up with `resolve` as it
// goes (at most once each; a resolver that throws counts as "does not resolve"). For tools and
// tests: it waits for the resolver.
const TrustedClient* findTrustedClient(const TrustedClientList& clients, const QueryInfo& query,
                                       const HostResolver& resolve = resolveIPv4);

}  // namespace net
