#pragma once

// The X11 backend's event loop on an asio io_context: posted work, one-shot timers, and the X
// connection's descriptor watched for reading. The daemon runs everything of its user-interface
// thread on this one io_context: the X connection, the control socket, the timers, the posts.

#include <asio.hpp>

#include <functional>
#include <map>
#include <memory>

#include "platform/x11/event_loop.h"

namespace app {

class AsioEventLoop final : public platform::x11::EventLoop {
public:
    explicit AsioEventLoop(asio::io_context& io) : io_(io) {}
    ~AsioEventLoop() override;
    AsioEventLoop(const AsioEventLoop&) = delete;
    AsioEventLoop& operator=(const AsioEventLoop&) = delete;

    void post(std::function<void()> fn) override;
    TimerId startTimer(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void cancelTimer(TimerId id) override;

    // Calls onReadable whenever the descriptor is readable, until unwatched. The descriptor
    // stays the caller's: it is never closed here.
    void watch(int fd, std::function<void()> onReadable);
    void unwatch();

    asio::io_context& io() const { return io_; }

private:
    void waitReadable();

    asio::io_context& io_;
    std::map<TimerId, std::unique_ptr<asio::steady_timer>> timers_;
    TimerId nextTimer_ = 1;
    std::unique_ptr<asio::posix::stream_descriptor> watched_;
    std::function<void()> onReadable_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace app
