#include "app/asio_event_loop.h"

namespace app {

AsioEventLoop::~AsioEventLoop() {
    alive_.reset();
    unwatch();
    for (auto& [id, timer] : timers_) timer->cancel();
}

void AsioEventLoop::post(std::function<void()> fn) {
    std::weak_ptr<bool> alive = alive_;
    asio::post(io_, [alive, fn = std::move(fn)] {
        if (!alive.expired()) fn();
    });
}

platform::x11::EventLoop::TimerId AsioEventLoop::startTimer(std::chrono::milliseconds delay, std::function<void()> fn) {
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
    unwatch();
    onReadable_ = std::move(onReadable);
    watched_ = std::make_unique<asio::posix::stream_descriptor>(io_, fd);
    waitReadable();
}

void AsioEventLoop::unwatch() {
    if (!watched_) return;
    watched_->cancel();
    watched_->release();  // not ours to close
    // The cancelled wait completes later; it must find its descriptor object alive.
    asio::post(io_, [w = std::shared_ptr<asio::posix::stream_descriptor>(std::move(watched_))] {});
}

void AsioEventLoop::waitReadable() {
    if (!watched_) return;
    std::weak_ptr<bool> alive = alive_;
    asio::posix::stream_descriptor* current = watched_.get();
    watched_->async_wait(asio::posix::stream_descriptor::wait_read,
                         [this, alive, current](const std::error_code& ec) {
                             if (ec || alive.expired() || watched_.get() != current) return;
                             onReadable_();
                             waitReadable();
                         });
}

}  // namespace app
