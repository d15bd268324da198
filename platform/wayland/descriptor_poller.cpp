#include "platform/wayland/descriptor_poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <array>

namespace platform::wayland {

DescriptorPoller::DescriptorPoller() : epoll_(epoll_create1(EPOLL_CLOEXEC)) {}

DescriptorPoller::~DescriptorPoller() {
    if (epoll_ >= 0) close(epoll_);
}

bool DescriptorPoller::watch(int fd, Wait wait, std::function<void()> onReady) {
    if (epoll_ < 0 || fd < 0) return false;
    epoll_event event{};
    event.events = wait == Wait::Readable ? EPOLLIN : EPOLLOUT;
    event.data.fd = fd;
    const bool known = handlers_.count(fd) != 0;
    if (epoll_ctl(epoll_, known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) != 0) return false;
    handlers_[fd] = std::make_shared<std::function<void()>>(std::move(onReady));
    return true;
}

void DescriptorPoller::unwatch(int fd) {
    auto it = handlers_.find(fd);
    if (it == handlers_.end()) return;
    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    handlers_.erase(it);
}

void DescriptorPoller::dispatch() {
    if (epoll_ < 0) return;
    std::array<epoll_event, 16> events{};
    const int ready = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 0);
    for (int i = 0; i < ready; ++i) {
        // Looked up again for each one: an earlier handler may have unwatched it, or closed it
        // and had the number reused by a new watch.
        auto it = handlers_.find(events[static_cast<size_t>(i)].data.fd);
        if (it == handlers_.end()) continue;
        const std::shared_ptr<std::function<void()>> handler = it->second;  // kept while it runs
        (*handler)();
    }
}

}  // namespace platform::wayland
