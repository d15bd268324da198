#pragma once

// What the program's core and its desktop backends need of the event loop of the thread they
// live on, so that the same code runs inside whichever loop the program has (our own poll loop,
// asio for the headless daemon, Qt's for the windowed program): posted work, one-shot timers,
// descriptors watched for reading, and a call at the end of every round of work.
//
// post() may be called from any thread; everything else only on the loop's own thread, and
// every callback runs there.

#include <chrono>
#include <cstdint>
#include <functional>

namespace platform {

class EventLoop {
public:
    using TimerId = uint64_t;
    using HookId = uint64_t;

    virtual ~EventLoop() = default;

    // Runs fn on the loop's thread soon, never inside this call. Safe from any thread. Work
    // posted after the loop has ended is dropped (destroyed without being run).
    virtual void post(std::function<void()> fn) = 0;

    // Runs fn once from the loop after the delay. Never returns 0.
    virtual TimerId startTimer(std::chrono::milliseconds delay, std::function<void()> fn) = 0;
    // Cancels a timer that has not run yet; nothing happens for one that ran or is unknown.
    virtual void cancelTimer(TimerId id) = 0;

    // Calls onReadable from the loop whenever fd is readable (or has hung up), until unwatched;
    // a second watch of the same descriptor replaces the first. The descriptor stays the
    // caller's: the loop never closes it. Unwatching an unknown descriptor does nothing.
    virtual void watch(int fd, std::function<void()> onReadable) = 0;
    virtual void unwatch(int fd) = 0;

    // Calls fn each time the loop has run what was due and is about to wait again: a library
    // that reads its descriptor into a queue of its own (Xlib) empties that queue here, so
    // events it read during a round of work are handled although the descriptor is quiet.
    // Never returns 0. fn may remove itself.
    virtual HookId addRoundEnd(std::function<void()> fn) = 0;
    virtual void removeRoundEnd(HookId id) = 0;
};

}  // namespace platform
