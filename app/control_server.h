#pragma once

// The daemon's side of the control channel: listens on the display's socket and serves each
// connection asynchronously on the daemon's io_context thread, one request and one reply per
// connection (app/control_protocol.h). A client is never waited for: one that sends or reads
// nothing for the I/O time-out is dropped, one that sends a malformed or oversized frame is
// dropped at once, and connections beyond the cap are closed as they arrive.

#include <sys/types.h>

#include <asio.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/control_protocol.h"

namespace app {

class InstanceLock;

struct ControlServerSettings {
    std::chrono::milliseconds ioTimeout{10000};
    size_t maxConnections = 8;
};

class ControlServer {
public:
    // Gives the reply to a request: called once, on the io_context thread, before the handler
    // returns or later. Once the connection or the server has gone it does nothing; a copy may
    // be dropped on any thread.
    using Respond = std::function<void(ControlReply)>;
    // Called on the io_context thread with each well-formed request. An exception thrown before
    // the reply was given becomes a reply with status 1 and its message.
    using Handler = std::function<void(const ControlRequest&, const Respond&)>;
    // A handler whose reply is ready when it returns.
    static Handler answering(std::function<ControlReply(const ControlRequest&)> answer);

    // Listens on `socketPath` (mode 0600). Holding the display's lock proves that no other
    // daemon can be listening: a socket file left by a daemon that died is replaced, after a
    // connection attempt confirmed that nobody answers on it. Throws std::system_error when
    // the socket cannot be made, something other than a socket stands at the path, or another
    // process answers there.
    ControlServer(asio::io_context& io, const InstanceLock& lock, std::filesystem::path socketPath,
                  Handler handler, ControlServerSettings settings = {});
    // Closes the socket and every connection and removes the socket file when it is still
    // ours. Call it on the io_context thread, or while the io_context does not run.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    const std::filesystem::path& socketPath() const { return socketPath_; }
    // Connections being served now.
    size_t connections() const;

private:
    struct Shared;
    class Connection;

    std::filesystem::path socketPath_;
    // What the pending operations may still reach after the server is gone.
    std::shared_ptr<Shared> shared_;
    // The socket file we made, so that we never remove another one.
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace app
