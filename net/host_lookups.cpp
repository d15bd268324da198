#include "net/host_lookups.h"

#include <system_error>
#include <thread>
#include <utility>

namespace net {

HostLookups::HostLookups(HostAddressResolver resolver, size_t maxInFlight)
    : shared_(std::make_shared<Shared>()), maxInFlight_(maxInFlight) {
    shared_->resolver = std::move(resolver);
}

bool HostLookups::start(const std::string& host, Done done) {
    if (shared_->inFlight.fetch_add(1) >= maxInFlight_) {
        shared_->inFlight.fetch_sub(1);
        return false;
    }
    try {
        // Detached: the system's resolver cannot be interrupted, and nobody should wait for it.
        std::thread([shared = shared_, host, done = std::move(done)] {
            std::vector<uint32_t> addresses;
            try {
                addresses = shared->resolver(host);
            } catch (const std::exception&) {
                // Counts as a name that does not resolve.
            }
            shared->inFlight.fetch_sub(1);
            done(std::move(addresses));
        }).detach();
    } catch (const std::system_error&) {
        shared_->inFlight.fetch_sub(1);
        return false;
    }
    return true;
}

}  // namespace net
