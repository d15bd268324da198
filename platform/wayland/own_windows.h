#pragma once

// The program's own windows on a desktop whose windows the engine cannot see as such: each one
// is an in-process object with a message handler, named by a handle with the top bit set (so it
// never collides with a handle of another program's window). Messages are sent by calling the
// handler and posted through the event loop; timers run on the loop's one-shot timers.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/desktop_types.h"
#include "platform/event_loop.h"

namespace platform::wayland {

class OwnWindows {
public:
    explicit OwnWindows(EventLoop& loop) : loop_(loop) {}
    ~OwnWindows();
    OwnWindows(const OwnWindows&) = delete;
    OwnWindows& operator=(const OwnWindows&) = delete;

    static bool isOwnHandle(WindowHandle window);

    WindowHandle create(std::u16string_view className, MessageHandler handler);
    // Stops its timers. False when it is not one of ours.
    bool destroy(WindowHandle window);
    bool exists(WindowHandle window) const;
    // Empty when it is not one of ours.
    std::u16string className(WindowHandle window) const;
    WindowHandle find(std::u16string_view className) const;

    intptr_t send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    bool post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    uint32_t registerMessage(std::u16string_view name);
    bool setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs);
    bool killTimer(WindowHandle window, uintptr_t id);

private:
    struct Window {
        std::u16string className;
        MessageHandler handler;
    };

    EventLoop& loop_;
    std::map<uintptr_t, Window> windows_;
    uintptr_t next_ = 1;
    std::map<std::pair<uintptr_t, uintptr_t>, EventLoop::TimerId> timers_;
    std::map<std::u16string, uint32_t> messages_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform::wayland
