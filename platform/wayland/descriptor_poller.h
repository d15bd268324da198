#pragma once

// The descriptors the Wayland backend waits on (the compositor's socket, and the pipes of the
// transfers under way) gathered in one epoll set, so that the program's event loop watches a
// single descriptor, as it does for the X11 backend: when that one is readable, the loop calls
// dispatch(), which runs the handler of every descriptor that is ready. Level-triggered: a
// handler that leaves data unread is called again. Everything runs on the loop's thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace platform::wayland {

class DescriptorPoller {
public:
    enum class Wait { Readable, Writable };

    DescriptorPoller();
    ~DescriptorPoller();
    DescriptorPoller(const DescriptorPoller&) = delete;
    DescriptorPoller& operator=(const DescriptorPoller&) = delete;

    // Readable whenever a watched descriptor is ready; -1 when no epoll set could be made.
    int fd() const { return epoll_; }

    // Calls onReady whenever fd is ready (a hang-up or an error counts as ready), until
    // unwatched; replaces an earlier watch of fd. The descriptor stays the caller's. False when
    // it cannot be watched.
    bool watch(int fd, Wait wait, std::function<void()> onReady);
    // A handler may unwatch its own descriptor, or any other.
    void unwatch(int fd);

    // Runs the handlers of the descriptors that are ready now, without waiting.
    void dispatch();

private:
    int epoll_ = -1;
    std::map<int, std::shared_ptr<std::function<void()>>> handlers_;
};

}  // namespace platform::wayland
