#pragma once

// Looks single names up on threads of their own, so that a name server that is slow to answer
// for one peer holds up no other connection and not the server thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/trust.h"

namespace net {

class HostLookups {
public:
    using Done = std::function<void(std::vector<uint32_t> addresses)>;

    HostLookups(HostAddressResolver resolver, size_t maxInFlight);

    // Looks `host` up and calls `done` with the result on the lookup's own thread (an empty
    // result when the resolver fails). False, and `done` is never called, when `maxInFlight`
    // lookups are under way already. Lookups outlive this object; `done` must hold what it uses.
    bool start(const std::string& host, Done done);

private:
    struct Shared {
        HostAddressResolver resolver;
        std::atomic<size_t> inFlight{0};
    };
    std::shared_ptr<Shared> shared_;
    const size_t maxInFlight_;
};

}  // namespace net
