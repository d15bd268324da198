#pragma once

// A small event loop on poll(2): file descriptors, posted work (from any thread) and timers.
// It serves the X11 backend where the program has no loop of its own, and the tests.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/round_end_hooks.h"
#include "platform/x11/event_loop.h"

namespace platform::x11 {

class PollLoop final : public EventLoop {
public:
    PollLoop();
    ~PollLoop() override;
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    void post(std::function<void()> fn) override;
    TimerId startTimer(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void cancelTimer(TimerId id) override;

    void watch(int fd, std::function<void()> onReadable) override;
    void unwatch(int fd) override;
    HookId addRoundEnd(std::function<void()> fn) override;
    void removeRoundEnd(HookId id) override;

    // One round: runs the posted work, waits for a descriptor or the next timer (at most
    // maxWait), then runs what became due.
    void runOnce(std::chrono::milliseconds maxWait);
    // Runs rounds until done() holds (checked before each round) or the limit has passed;
    // returns done()'s last answer. No round waits longer than `step`, so conditions that
    // change outside the loop (a child process exiting) are seen.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                  std::chrono::milliseconds step = std::chrono::milliseconds(20));

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::time_point due;
        std::function<void()> fn;
    };

    void runPosted();
    void runDueTimers();
    bool hasPosted();

    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    // Written by post() from other threads, so that a waiting poll wakes up.
    int wakeFd_ = -1;
    RoundEndHooks roundEnd_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    std::map<int, std::function<void()>> watches_;
};

}  // namespace platform::x11
