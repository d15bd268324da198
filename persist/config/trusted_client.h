#pragma once

#include <string>
#include <utility>
#include <vector>

#include "persist/archive/collections.h"

// A computer and user whose records this computer accepts, and the list that receives them.
// All three texts are UTF-8.
struct TrustedClient {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    std::string host;
    std::string user;
    std::string listName;

    TrustedClient() = default;
    TrustedClient(std::string h, std::string u, std::string list)
        : host(std::move(h)), user(std::move(u)), listName(std::move(list)) {}

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(host, user, listName);
    }
    bool operator==(const TrustedClient&) const = default;
};

// Ordered: the receiver takes the first client that matches.
struct TrustedClientList {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    std::vector<TrustedClient> clients;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(clients);
    }
    bool operator==(const TrustedClientList&) const = default;
};
