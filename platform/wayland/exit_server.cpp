#include "platform/wayland/exit_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <functional>

#include "platform/event_loop.h"
#include "platform/wayland/data_control.h"
#include "platform/wayland/wayland_connection.h"

namespace platform::wayland {

namespace {

// The process does one thing at a time and blocks between them: its connection is
// driven by wl_display_dispatch() alone, so the loop it is given only has to hold posts.
class BlockingLoop final : public EventLoop {
public:
    void post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
    TimerId startTimer(std::chrono::milliseconds, std::function<void()>) override { return ++next_; }
    void cancelTimer(TimerId) override {}
    void watch(int, std::function<void()>) override {}
    void unwatch(int) override {}
    HookId addRoundEnd(std::function<void()>) override { return ++next_; }
    void removeRoundEnd(HookId) override {}

    void runPosted() {
        auto posted = std::move(posted_);
        for (auto& fn : posted) fn();
    }

private:
    std::vector<std::function<void()>> posted_;
    uint64_t next_ = 0;
};

// Writes everything, waiting at most 5 s for the reader each time it is full.
void writeAll(int fd, const std::string& bytes) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            continue;
        }
        break;
    }
    close(fd);
}

}  // namespace

int serveClipboardUntilTaken(const std::string& display, const std::vector<TargetData>& targets) {
    std::vector<std::string> mimeTypes;
    for (const TargetData& t : targets) mimeTypes.push_back(t.target);
    BlockingLoop loop;
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open(loop, display.c_str());
    if (!connection) return 1;
    std::unique_ptr<DataDevice> device = makeDataDevice(*connection, {});
    if (!device) return 1;
    bool replaced = false;
    std::unique_ptr<DataSource> source = device->createSource(
        mimeTypes,
        [&](const std::string& mimeType, int fd) {
            for (const TargetData& t : targets)
                if (t.target == mimeType) return writeAll(fd, t.bytes);
            close(fd);
        },
        [&] { replaced = true; });
    device->setSelection(source.get());
    connection->flush();
    while (!replaced && wl_display_dispatch(connection->display()) != -1) loop.runPosted();
    return 0;
}

}  // namespace platform::wayland
