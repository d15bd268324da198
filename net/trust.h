#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/messages.h"
#include "persist/config/trusted_client.h"

namespace net {

// Turns a host text (UTF-8, what the system's resolver takes here) into an IPv4 address in host byte order: dotted text as
// it is, any other name through the system's resolver (first address). Empty when it cannot.
using HostResolver = std::function<std::optional<uint32_t>(const std::string& host)>;

std::optional<uint32_t> resolveIPv4(const std::string& host);

// The first trusted client that the query's host and user names match, or null. The connection's
// remote address is never consulted: the decision rests on what the sender says in its query.
//
// Host: the client's host equals the query's host name exactly; otherwise both resolve to the
// same IPv4 address. A name that does not resolve matches nothing, so two unknown names are not
// taken for the same computer. User: the client's user is empty (anyone) or equals the query's.
const TrustedClient* findTrustedClient(const TrustedClientList& clients, const QueryInfo& query,
                                       const HostResolver& resolve = resolveIPv4);

}  // namespace net
