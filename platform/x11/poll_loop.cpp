#include "platform/x11/poll_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform::x11 {

PollLoop::PollLoop() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PollLoop::~PollLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void PollLoop::post(std::function<void()> fn) {
    {
        const std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.push_back(std::move(fn));
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
}

bool PollLoop::hasPosted() {
    const std::lock_guard<std::mutex> lock(postedMutex_);
    return !posted_.empty();
}

EventLoop::HookId PollLoop::addRoundEnd(std::function<void()> fn) { return roundEnd_.add(std::move(fn)); }

void PollLoop::removeRoundEnd(HookId id) { roundEnd_.remove(id); }

EventLoop::TimerId PollLoop::startTimer(std::chrono::milliseconds delay, std::function<void()> fn) {
    const TimerId id = nextTimer_++;
    timers_.emplace(id, Timer{Clock::now() + delay, std::move(fn)});
    return id;
}

void PollLoop::cancelTimer(TimerId id) { timers_.erase(id); }

void PollLoop::watch(int fd, std::function<void()> onReadable) { watches_[fd] = std::move(onReadable); }

void PollLoop::unwatch(int fd) { watches_.erase(fd); }

void PollLoop::runPosted() {
    // Work posted while this batch runs waits for the next round, so a handler that posts
    // itself cannot starve the descriptors.
    std::vector<std::function<void()>> batch;
    {
        const std::lock_guard<std::mutex> lock(postedMutex_);
        batch.swap(posted_);
    }
    for (auto& fn : batch) fn();
}

void PollLoop::runDueTimers() {
    const Clock::time_point now = Clock::now();
    std::vector<TimerId> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= now) due.push_back(id);
    for (TimerId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // cancelled by an earlier one
        std::function<void()> fn = std::move(it->second.fn);
        timers_.erase(it);
        fn();
    }
}

void PollLoop::runOnce(std::chrono::milliseconds maxWait) {
    runPosted();
    roundEnd_.run();
    std::chrono::milliseconds wait = hasPosted() ? std::chrono::milliseconds(0) : maxWait;
    const Clock::time_point now = Clock::now();
    for (const auto& [id, timer] : timers_) {
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(timer.due - now);
        wait = std::clamp(untilDue, std::chrono::milliseconds(0), wait);
    }

    std::vector<pollfd> fds;
    if (wakeFd_ >= 0) fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    for (const auto& [fd, fn] : watches_) fds.push_back(pollfd{fd, POLLIN, 0});
    const int n = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
    if (n > 0) {
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            if (p.fd == wakeFd_) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
                continue;
            }
            auto it = watches_.find(p.fd);
            if (it == watches_.end()) continue;  // unwatched by an earlier handler
            std::function<void()> fn = it->second;
            fn();
        }
    }
    runDueTimers();
}

bool PollLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                        std::chrono::milliseconds step) {
    const Clock::time_point end = Clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left <= std::chrono::milliseconds(0)) return done();
        runOnce(std::min(left, step));
    }
    return true;
}

}  // namespace platform::x11
