#pragma once

#include <cstdint>
#include <string>
#include <utility>

// A peer to send records to: the host as the user typed it (UTF-8) and its port.
struct NetworkAddress {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    std::string host;
    int32_t port = 0;

    NetworkAddress() = default;
    NetworkAddress(std::string h, int32_t p) : host(std::move(h)), port(p) {}

    // What menus and lists show: "host : port".
    std::string displayText() const { return host + " : " + std::to_string(port); }

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(host, port);
    }
    bool operator==(const NetworkAddress&) const = default;
};
