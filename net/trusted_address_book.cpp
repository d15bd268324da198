#include "net/trusted_address_book.h"

#include <algorithm>
#include <utility>

namespace net {

TrustedAddressBook::TrustedAddressBook(HostAddressResolver resolver,
                                       std::chrono::milliseconds refreshInterval)
    : resolver_(std::move(resolver)), refreshInterval_(refreshInterval) {}

TrustedAddressBook::~TrustedAddressBook() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TrustedAddressBook::refresh(const TrustedClientList& clients) {
    std::vector<std::string> hosts;
    for (const TrustedClient& client : clients.clients)
        if (std::find(hosts.begin(), hosts.end(), client.host) == hosts.end())
            hosts.push_back(client.host);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hosts_ = std::move(hosts);
        requested_ = true;
        // Started on first use: a server that never receives needs no lookups.
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

std::optional<std::vector<uint32_t>> TrustedAddressBook::addressesOf(const std::string& host) const {
    if (std::optional<uint32_t> dotted = parseIPv4(host)) return std::vector<uint32_t>{*dotted};
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = known_.find(host);
    if (it == known_.end()) return std::nullopt;
    return it->second;
}

void TrustedAddressBook::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, refreshInterval_, [this] { return requested_ || stopping_; });
        if (stopping_) return;
        requested_ = false;
        const std::vector<std::string> hosts = hosts_;
        lock.unlock();

        std::map<std::string, std::vector<uint32_t>> found;
        for (const std::string& host : hosts) {
            std::vector<uint32_t> addresses;
            try {
                addresses = resolver_(host);
            } catch (const std::exception&) {
                // A host whose lookup failed has no address: no connection is taken for it.
            }
            found.emplace(host, std::move(addresses));
        }

        lock.lock();
        // When the list changed meanwhile, the next round starts at once.
        known_ = std::move(found);
        rounds_.fetch_add(1);
    }
}

}  // namespace net
