#pragma once

// What the X11 backend needs of the program's event loop, so that the same code runs inside
// whichever loop the program has (our own poll loop, asio, Qt): a way to post work and one-shot
// timers. Watching the X connection's file descriptor is the loop's part: when it is readable,
// the loop calls Connection::processPendingEvents().
//
// Everything is called on the loop's own thread.

#include <chrono>
#include <cstdint>
#include <functional>

namespace platform::x11 {

class EventLoop {
public:
    using TimerId = uint64_t;

    virtual ~EventLoop() = default;

    // Runs fn from the loop soon, never inside this call.
    virtual void post(std::function<void()> fn) = 0;
    // Runs fn once from the loop after the delay. Never returns 0.
    virtual TimerId startTimer(std::chrono::milliseconds delay, std::function<void()> fn) = 0;
    // Cancels a timer that has not run yet; nothing happens for one that ran or is unknown.
    virtual void cancelTimer(TimerId id) = 0;
};

}  // namespace platform::x11
