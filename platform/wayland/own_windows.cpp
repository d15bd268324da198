#include "platform/wayland/own_windows.h"

#include <functional>

namespace platform::wayland {

namespace {
constexpr uintptr_t kOwnBit = uintptr_t{1} << (sizeof(uintptr_t) * 8 - 1);
}  // namespace

OwnWindows::~OwnWindows() {
    alive_.reset();
    for (auto& [key, timer] : timers_) loop_.cancelTimer(timer);
}

bool OwnWindows::isOwnHandle(WindowHandle window) { return (static_cast<uintptr_t>(window) & kOwnBit) != 0; }

WindowHandle OwnWindows::create(std::u16string_view className, MessageHandler handler) {
    const uintptr_t handle = kOwnBit | next_++;
    windows_[handle] = Window{std::u16string(className), std::move(handler)};
    return static_cast<WindowHandle>(handle);
}

bool OwnWindows::destroy(WindowHandle window) {
    auto it = windows_.find(static_cast<uintptr_t>(window));
    if (it == windows_.end()) return false;
    for (auto t = timers_.begin(); t != timers_.end();) {
        if (t->first.first == it->first) {
            loop_.cancelTimer(t->second);
            t = timers_.erase(t);
        } else {
            ++t;
        }
    }
    windows_.erase(it);
    return true;
}

bool OwnWindows::exists(WindowHandle window) const { return windows_.count(static_cast<uintptr_t>(window)) != 0; }

std::u16string OwnWindows::className(WindowHandle window) const {
    auto it = windows_.find(static_cast<uintptr_t>(window));
    return it == windows_.end() ? std::u16string() : it->second.className;
}

WindowHandle OwnWindows::find(std::u16string_view className) const {
    for (const auto& [handle, w] : windows_)
        if (w.className == className) return static_cast<WindowHandle>(handle);
    return kNoWindow;
}

intptr_t OwnWindows::send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto it = windows_.find(static_cast<uintptr_t>(window));
    if (it == windows_.end() || !it->second.handler) return 0;
    MessageHandler handler = it->second.handler;  // the handler may destroy its window
    return handler(message, wParam, lParam);
}

bool OwnWindows::post(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!exists(window)) return false;
    std::weak_ptr<bool> alive = alive_;
    loop_.post([this, alive, window, message, wParam, lParam] {
        if (!alive.expired()) send(window, message, wParam, lParam);
    });
    return true;
}

uint32_t OwnWindows::registerMessage(std::u16string_view name) {
    if (name.empty()) return 0;
    auto [it, added] = messages_.try_emplace(std::u16string(name), 0);
    if (added) it->second = 0xC000 + static_cast<uint32_t>(messages_.size() - 1);
    return it->second;
}

bool OwnWindows::setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs) {
    if (!exists(window)) return false;
    killTimer(window, id);
    const auto key = std::make_pair(static_cast<uintptr_t>(window), id);
    std::weak_ptr<bool> alive = alive_;
    // Re-armed on each tick, as a periodic timer.
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [this, alive, key, window, id, periodMs, weakTick = std::weak_ptr(tick)] {
        if (alive.expired()) return;
        auto it = timers_.find(key);
        if (it == timers_.end()) return;
        if (auto again = weakTick.lock())
            it->second = loop_.startTimer(std::chrono::milliseconds(periodMs), [again] { (*again)(); });
        send(window, WM_TIMER, id, 0);
    };
    timers_[key] = loop_.startTimer(std::chrono::milliseconds(periodMs), [tick] { (*tick)(); });
    return true;
}

bool OwnWindows::killTimer(WindowHandle window, uintptr_t id) {
    auto it = timers_.find({static_cast<uintptr_t>(window), id});
    if (it == timers_.end()) return false;
    loop_.cancelTimer(it->second);
    timers_.erase(it);
    return true;
}

}  // namespace platform::wayland
