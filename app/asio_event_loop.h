#pragma once

// The program's event loop on an asio io_context: posted work, one-shot timers, watched
// descriptors, and the round-end calls, which run() makes after each batch of ready handlers.
// The headless daemon runs everything of its main thread on this one io_context.

#include <asio.hpp>

#include <functional>
#include <map>
#include <memory>

#include "platform/event_loop.h"
#include "platform/round_end_hooks.h"

namespace app {

class AsioEventLoop final : public platform::EventLoop {
public:
    explicit AsioEventLoop(asio::io_context& io) : io_(io) {}
    ~AsioEventLoop() override;
    AsioEventLoop(const AsioEventLoop&) = delete;
    AsioEventLoop& operator=(const AsioEventLoop&) = delete;

    void post(std::function<void()> fn) override;
    TimerId startTimer(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void cancelTimer(TimerId id) override;
    void watch(int fd, std::function<void()> onReadable) override;
    void unwatch(int fd) override;
    HookId addRoundEnd(std::function<void()> fn) override;
    void removeRoundEnd(HookId id) override;

    // Runs the io_context until it is stopped or out of work, with the round-end calls after
    // every batch of handlers.
    void run();

    asio::io_context& io() const { return io_; }

private:
    struct Watch;
    void waitReadable(const std::shared_ptr<Watch>& watch);

    asio::io_context& io_;
    std::map<TimerId, std::unique_ptr<asio::steady_timer>> timers_;
    TimerId nextTimer_ = 1;
    std::map<int, std::shared_ptr<Watch>> watches_;
    platform::RoundEndHooks roundEnd_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace app
