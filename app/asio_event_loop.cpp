#include "app/asio_event_loop.h"

#include <vector>

namespace app {

struct AsioEventLoop::Watch {
    Watch(asio::io_context& io, int fd, std::function<void()> fn) : descriptor(io, fd), onReadable(std::move(fn)) {}
    asio::posix::stream_descriptor descriptor;
    std::function<void()> onReadable;
    bool active = true;
};

AsioEventLoop::~AsioEventLoop() {
    alive_.reset();
    while (!watches_.empty()) unwatch(watches_.begin()->first);
    for (auto& [id, timer] : timers_) timer->cancel();
}

void AsioEventLoop::post(std::function<void()> fn) {
    std::weak_ptr<bool> alive = alive_;
    asio::post(io_, [alive, fn = std::move(fn)] {
        if (!alive.expired()) fn();
    });
}

platform::EventLoop::TimerId AsioEventLoop::startTimer(std::chrono::milliseconds delay, std::function<void()> fn) {
    const TimerId id = nextTimer_++;
    auto timer = std::make_unique<asio::steady_timer>(io_, delay);
    std::weak_ptr<bool> alive = alive_;
    timer->async_wait([this, alive, id, fn = std::move(fn)](const std::error_code& ec) {
        if (ec || alive.expired()) return;
        // Gone from the table before it runs, so that fn may start or cancel timers freely.
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        std::unique_ptr<asio::steady_timer> self = std::move(it->second);
        timers_.erase(it);
        fn();
    });
    timers_[id] = std::move(timer);
    return id;
}

void AsioEventLoop::cancelTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->cancel();
    // The cancelled wait still completes once; the timer object must outlive it.
    asio::post(io_, [timer = std::shared_ptr<asio::steady_timer>(std::move(it->second))] {});
    timers_.erase(it);
}

void AsioEventLoop::watch(int fd, std::function<void()> onReadable) {
    unwatch(fd);
    auto watch = std::make_shared<Watch>(io_, fd, std::move(onReadable));
    watches_[fd] = watch;
    waitReadable(watch);
}

void AsioEventLoop::unwatch(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    std::shared_ptr<Watch> watch = std::move(it->second);
    watches_.erase(it);
    watch->active = false;
    watch->descriptor.cancel();
    watch->descriptor.release();  // not ours to close
    // The pending wait holds the watch until it completes.
}

void AsioEventLoop::waitReadable(const std::shared_ptr<Watch>& watch) {
    std::weak_ptr<bool> alive = alive_;
    watch->descriptor.async_wait(asio::posix::stream_descriptor::wait_read,
                                 [this, alive, watch](const std::error_code& ec) {
                                     if (ec || alive.expired() || !watch->active) return;
                                     // A copy: the call may unwatch and so destroy the original.
                                     std::function<void()> fn = watch->onReadable;
                                     fn();
                                     if (watch->active) waitReadable(watch);
                                 });
}

platform::EventLoop::HookId AsioEventLoop::addRoundEnd(std::function<void()> fn) {
    return roundEnd_.add(std::move(fn));
}

void AsioEventLoop::removeRoundEnd(HookId id) { roundEnd_.remove(id); }

void AsioEventLoop::run() {
    roundEnd_.run();
    while (!io_.stopped() && io_.run_one() > 0) {
        io_.poll();  // whatever else is ready, then the round ends
        if (!io_.stopped()) roundEnd_.run();
    }
}

}  // namespace app
