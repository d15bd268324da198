#pragma once

// The addresses of the trusted clients' hosts, looked up ahead of time on a thread of their own
// and refreshed now and then, so that the server thread can check where a connection comes from
// without waiting for a name server.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/trust.h"
#include "persist/config/trusted_client.h"

namespace net {

class TrustedAddressBook {
public:
    TrustedAddressBook(HostAddressResolver resolver, std::chrono::milliseconds refreshInterval);
    // Waits for a lookup in progress to end.
    ~TrustedAddressBook();
    TrustedAddressBook(const TrustedAddressBook&) = delete;
    TrustedAddressBook& operator=(const TrustedAddressBook&) = delete;

    // Looks the clients' hosts up again, on the book's thread; returns at once. From then on
    // the same hosts are looked up again every refresh interval.
    void refresh(const TrustedClientList& clients);

    // The addresses found for a host at the last lookup (empty when it did not resolve); nothing
    // when it has not been looked up. A dotted address answers itself.
    std::optional<std::vector<uint32_t>> addressesOf(const std::string& host) const;

    // Lookup rounds completed so far.
    uint64_t rounds() const { return rounds_.load(); }

private:
    void run();

    const HostAddressResolver resolver_;
    const std::chrono::milliseconds refreshInterval_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> hosts_;
    bool requested_ = false;
    bool stopping_ = false;
    std::map<std::string, std::vector<uint32_t>> known_;
    std::atomic<uint64_t> rounds_{0};
    std::thread thread_;
};

}  // namespace net
