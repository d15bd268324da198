#pragma once

// Once per program start, when the user allows it, one HTTP GET asks the version-check server
// whether a newer version exists. Every failure is silent: the program then behaves as if there
// were none. The server is a setting of its own (host and port options); without a host there is
// no check at all.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/notify.h"
#include "net/socket_io.h"
#include "persist/config/app_config.h"

namespace net {

struct VersionServer {
    std::string host;  // UTF-8; empty: no check
    uint16_t port = 80;
};

inline constexpr uint16_t kDefaultVersionServerPort = 80;

// The request's object, without a leading slash:
// check_version.php?app=quillet&dev=1&cur_ver=4000803&os=<build>
std::string versionRequestPath(int32_t osBuild);

// The complete request as it goes on the wire.
std::string versionRequest(const VersionServer& server, const std::string& path);

// At most the first 99 bytes of the response body (the HTTP status is not examined; chunked
// bodies are decoded). Empty when the response is not HTTP or ends inside its headers.
std::string readVersionReplyBody(BlockingSocket& socket);

struct VersionReply {
    int32_t latestVersion = kAppVersionNumber;
    std::u16string downloadLink;
};

// The first word as a decimal number, the second as the link (system code page). A body whose
// first word is no number gives the program's own version and no link.
VersionReply parseVersionReply(std::string_view body);

class VersionChecker : public std::enable_shared_from_this<VersionChecker> {
public:
    static constexpr size_t kMaxReplyBytes = 99;

    VersionChecker(std::shared_ptr<MessageTarget> window, VersionServer server, std::string path,
                   Timeouts timeouts = {});

    // The request, the parsing, then kMsgVersionChecked to the window with lParam this checker's
    // address. Runs on the checker's own thread.
    void run();
    // The window is going away: nothing will be posted to it.
    void detachWindow();

    int32_t latestVersion() const;
    std::u16string downloadLink() const;
    bool newerVersionAvailable() const { return latestVersion() > kAppVersionNumber; }
    const std::string& requestPath() const { return path_; }

private:
    const VersionServer server_;
    const std::string path_;
    const Timeouts timeouts_;
    mutable std::mutex mutex_;  // held while the result is stored and posted
    std::shared_ptr<MessageTarget> window_;
    VersionReply reply_;
};

// The version-check server from the options; an empty host when none is configured.
VersionServer configuredVersionServer(const AppConfig& config);

// The checks a program has started and whose result it has not handled yet; the program owns
// it (its windows receive the results). User-interface thread only.
class VersionChecks {
public:
    // When the check is on (option 20) and a server is configured: a checker for this program,
    // kept as pending and started on a detached thread. Null otherwise.
    std::shared_ptr<VersionChecker> start(std::shared_ptr<MessageTarget> window, const AppConfig& config,
                                          Timeouts timeouts = {});
    // Handling kMsgVersionChecked: the pending checker with that address, no longer pending;
    // null when there is none.
    std::shared_ptr<VersionChecker> take(intptr_t checkerAddress);
    const std::vector<std::shared_ptr<VersionChecker>>& pending() const { return pending_; }

private:
    std::vector<std::shared_ptr<VersionChecker>> pending_;
};

}  // namespace net
