#pragma once

// The control socket served on a thread of its own, so that no client, however slow, ever holds
// up the program's event loop: each well-formed request is handed to the loop through `post`,
// and the reply given there goes back to the socket's thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "app/control_protocol.h"
#include "app/control_server.h"

namespace app {

class InstanceLock;

class ControlChannel {
public:
    // Gives the reply; callable once, from any thread, also after the channel has gone.
    using Respond = std::function<void(ControlReply)>;
    // Called on the loop's thread (through `post`) with each request.
    using Handler = std::function<void(const ControlRequest&, Respond)>;
    // Hands work to the loop's thread; safe from any thread.
    using Post = std::function<void(std::function<void()>)>;

    // Listens on `socket` (see ControlServer). Throws std::system_error when it cannot.
    ControlChannel(const InstanceLock& lock, std::filesystem::path socket, Post post, Handler handler);
    // Closes the socket and every connection and ends the thread.
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

private:
    std::shared_ptr<asio::io_context> io_;
    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::unique_ptr<ControlServer> server_;
    std::thread thread_;
};

}  // namespace app
