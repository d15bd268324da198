#pragma once

// The command line's side of the control channel: a blocking exchange with the daemon, bounded
// in time at every step.

#include <chrono>
#include <filesystem>
#include <optional>

#include "app/control_protocol.h"

namespace app {

struct ClientTimeouts {
    // While sending the request and reading the reply: no byte moving for this long.
    std::chrono::milliseconds io{10000};
    // Before the reply begins: the daemon runs the command first (a send to another computer
    // takes up to the network's time-outs).
    std::chrono::milliseconds reply{300000};
};

class ControlConnection {
public:
    // Nothing when nobody answers on the socket: no file there, a file left by a daemon that
    // ended, or not a socket at all.
    static std::optional<ControlConnection> open(const std::filesystem::path& socketPath,
                                                 const ClientTimeouts& timeouts = {});
    ~ControlConnection();
    ControlConnection(ControlConnection&& other) noexcept;
    ControlConnection& operator=(ControlConnection&& other) noexcept;

    // Sends the request and reads the reply. Once connected, the daemon may have run the
    // command already, so a failure (time-out, a broken or malformed reply) is a reply with
    // status 1 and one sentence, never nothing: the command must not run a second time.
    ControlReply exchange(const ControlRequest& request);

private:
    ControlConnection(int fd, ClientTimeouts timeouts) : fd_(fd), timeouts_(timeouts) {}

    int fd_;  // -1: the daemon's queue of connections was full
    ClientTimeouts timeouts_;
};

// open() and exchange() in one.
std::optional<ControlReply> sendRequest(const std::filesystem::path& socketPath,
                                        const ControlRequest& request,
                                        const ClientTimeouts& timeouts = {});

}  // namespace app
