#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// Sent as 4 raw bytes, least significant first (AC 87 06 0A), by both sides before any message.
inline constexpr int32_t kHandshakeWord = 0x0A0687AC;

// What follows the query: QueryInfo::objectKind.
inline constexpr int32_t kObjectKindNotSet = -1;
inline constexpr int32_t kObjectRecord = 0;
inline constexpr int32_t kObjectRecordList = 1;
inline constexpr int32_t kObjectHistory = 2;

// The receiver's verdict: ReplyInfo::result. Everything but kResultAccepted ends the exchange.
inline constexpr int32_t kResultNotSet = -1;  // also what an empty reply leaves
inline constexpr int32_t kResultAccepted = 0;
inline constexpr int32_t kResultUnknownObjectKind = 2;
inline constexpr int32_t kResultUntrustedClient = 3;

// The one bit of ReplyInfo::flags: set with kResultUntrustedClient. Senders never read it.
inline constexpr int32_t kReplyFlagUntrustedClient = 4;

// Who sends what. A new object holds the values that mean "nothing received".
struct QueryInfo {
    static constexpr unsigned archiveVersion = 1;
    static constexpr bool archiveTracked = false;

    std::string userName;  // UTF-8
    int32_t objectKind = kObjectKindNotSet;
    int32_t appVersion = -1;
    int32_t flags = 0;  // no bit is defined
    int32_t revision = 1;
    // In the ANSI code page, as the sending system names itself; peers of class version 0
    // do not send it.
    std::string hostName;

    std::u16string hostNameText() const;
    void setHostNameText(std::u16string_view name);

    template <class Archive>
    void serialize(Archive& ar, unsigned version) {
        ar(userName, objectKind, appVersion, flags, revision);
        if (version >= 1) {
            ar(hostName);
        } else if constexpr (Archive::isLoading) {
            // Never keep a name the peer did not send: the trust check matches on it.
            hostName.clear();
        }
    }
    bool operator==(const QueryInfo&) const = default;
};

// The receiver's answer to a query.
struct ReplyInfo {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    int32_t result = kResultNotSet;
    int32_t appVersion = -1;
    int32_t flags = 0;
    int32_t revision = 1;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(result, appVersion, flags, revision);
    }
    bool operator==(const ReplyInfo&) const = default;
};

}  // namespace net
