#include "platform/sim/sim_desktop.h"

#include <algorithm>

#include "platform/process.h"

namespace platform::sim {

namespace {

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

std::u16string upper(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = asciiUpper(c);
    return out;
}

// The desktop reports the side of a modifier; injecting the generic key presses the left one.
uint32_t sidedKey(uint32_t vk) {
    switch (vk) {
        case VK_CONTROL: return VK_LCONTROL;
        case VK_MENU: return VK_LMENU;
        case VK_SHIFT: return VK_LSHIFT;
        default: return vk;
    }
}

// Deep chains of sent messages mean a chain that loops; a real desktop would run out of stack.
constexpr unsigned kMaxSendDepth = 64;

}  // namespace

SimDesktop::SimDesktop() {
    ownPid_ = currentProcessId();
    Program own;
    own.pid = ownPid_;
    own.tid = nextTid_++;
    own.path = u"/opt/quillet/quillet";
    programs_.emplace(ownPid_, std::move(own));
    taskbarPid_ = addProgram(u"/usr/bin/panel");
    taskbar_ = addWindow(taskbarPid_, u"Shell_TrayWnd", kNoWindow, Rect{0, 1040, 1920, 1080});
}

SimDesktop::~SimDesktop() = default;

// ---- programs and windows

SimDesktop::Window* SimDesktop::window(WindowHandle handle) {
    auto it = windows_.find(static_cast<uintptr_t>(handle));
    return it == windows_.end() || !it->second.alive ? nullptr : &it->second;
}

const SimDesktop::Window* SimDesktop::window(WindowHandle handle) const {
    auto it = windows_.find(static_cast<uintptr_t>(handle));
    return it == windows_.end() || !it->second.alive ? nullptr : &it->second;
}

SimDesktop::Program* SimDesktop::program(ProcessId pid) {
    auto it = programs_.find(pid);
    return it == programs_.end() ? nullptr : &it->second;
}

const SimDesktop::Program* SimDesktop::program(ProcessId pid) const {
    auto it = programs_.find(pid);
    return it == programs_.end() ? nullptr : &it->second;
}

const SimDesktop::Program* SimDesktop::programOfThread(ThreadId tid) const {
    for (const auto& [pid, p] : programs_)
        if (p.tid == tid && p.alive) return &p;
    return nullptr;
}

ProcessId SimDesktop::addProgram(std::u16string executablePath) {
    Program p;
    p.pid = nextPid_;
    nextPid_ += 4;
    p.tid = nextTid_++;
    p.path = std::move(executablePath);
    const ProcessId pid = p.pid;
    programs_.emplace(pid, std::move(p));
    return pid;
}

ProcessId SimDesktop::ownProcess() const { return ownPid_; }

void SimDesktop::endProgram(ProcessId pid) {
    Program* p = program(pid);
    if (!p || pid == ownPid_) return;
    for (auto& [handle, w] : windows_)
        if (w.pid == pid && w.alive) closeWindow(static_cast<WindowHandle>(handle));
    p->alive = false;
}

void SimDesktop::setProcessOpenable(ProcessId pid, bool openable) {
    if (Program* p = program(pid)) p->openable = openable;
}

void SimDesktop::setInputIdleScript(ProcessId pid, InputIdleScript script) {
    if (Program* p = program(pid)) {
        p->idle = std::move(script);
        p->idleCalls = 0;
    }
}

size_t SimDesktop::openProcessHandles() const { return openProcesses_.size(); }

WindowHandle SimDesktop::newWindow(ProcessId pid, std::u16string className, WindowHandle parent,
                                   Rect rect, MessageHandler handler) {
    const Program* p = program(pid);
    if (!p || !p->alive) return kNoWindow;
    nextWindow_ += 2;
    Window w;
    w.pid = pid;
    w.className = std::move(className);
    w.parent = window(parent) ? parent : kNoWindow;
    w.rect = rect;
    w.handler = std::move(handler);
    windows_.emplace(nextWindow_, std::move(w));
    return static_cast<WindowHandle>(nextWindow_);
}

WindowHandle SimDesktop::addWindow(ProcessId pid, std::u16string className, WindowHandle parent,
                                   Rect rect) {
    return newWindow(pid, std::move(className), parent, rect, nullptr);
}

WindowHandle SimDesktop::createWindow(std::u16string_view className, MessageHandler handler) {
    log("createWindow");
    return newWindow(ownPid_, std::u16string(className), kNoWindow, Rect{}, std::move(handler));
}

bool SimDesktop::destroyWindow(WindowHandle handle) {
    log("destroyWindow");
    if (!window(handle)) return false;
    closeWindow(handle);
    return true;
}

void SimDesktop::closeWindow(WindowHandle handle) {
    Window* w = window(handle);
    if (!w) return;
    w->alive = false;
    for (auto& [child, cw] : windows_)
        if (cw.alive && cw.parent == handle) closeWindow(static_cast<WindowHandle>(child));
    if (foreground_ == handle) foreground_ = kNoWindow;
    for (auto& [pid, p] : programs_) {
        if (p.focus == handle) p.focus = kNoWindow;
        if (p.caretWindow == handle) p.caretWindow = kNoWindow;
    }
    for (auto it = timers_.begin(); it != timers_.end();)
        it = it->first.first == static_cast<uintptr_t>(handle) ? timers_.erase(it) : std::next(it);
}

bool SimDesktop::isWindow(WindowHandle handle) const { return window(handle) != nullptr; }

WindowThreadProcess SimDesktop::windowThreadProcessId(WindowHandle handle) const {
    const Window* w = window(handle);
    if (!w) return {};
    const Program* p = program(w->pid);
    return {p->tid, p->pid};
}

std::u16string SimDesktop::className(WindowHandle handle, size_t maxChars) const {
    const Window* w = window(handle);
    if (!w) return {};
    return w->className.substr(0, maxChars);
}

std::optional<Rect> SimDesktop::windowRect(WindowHandle handle) const {
    const Window* w = window(handle);
    if (!w) return std::nullopt;
    return w->rect;
}

WindowHandle SimDesktop::findWindow(std::u16string_view className) const {
    for (const auto& [handle, w] : windows_)
        if (w.alive && w.parent == kNoWindow && equalsIgnoringCase(w.className, className))
            return static_cast<WindowHandle>(handle);
    return kNoWindow;
}

WindowHandle SimDesktop::taskbar() const { return taskbar_; }

WindowHandle SimDesktop::recreateTaskbar() {
    closeWindow(taskbar_);
    taskbar_ = addWindow(taskbarPid_, u"Shell_TrayWnd", kNoWindow, Rect{0, 1040, 1920, 1080});
    const uint32_t created = messageNumber(u"TaskbarCreated");
    for (const auto& [handle, w] : windows_)
        if (w.alive && w.pid == ownPid_ && w.parent == kNoWindow && w.handler)
            queue_.push_back({static_cast<WindowHandle>(handle), created, 0, 0, true});
    return taskbar_;
}

WindowHandle SimDesktop::topLevel(WindowHandle handle) const {
    const Window* w = window(handle);
    while (w && w->parent != kNoWindow) {
        handle = w->parent;
        w = window(handle);
    }
    return w ? handle : kNoWindow;
}

bool SimDesktop::isWithin(WindowHandle child, WindowHandle ancestor) const {
    for (const Window* w = window(child); w; child = w->parent, w = window(child))
        if (child == ancestor) return true;
    return false;
}

// ---- focus

bool SimDesktop::tracksAsFocus(WindowHandle handle) const {
    const Window* w = window(handle);
    if (!w || w->pid == ownPid_) return false;
    return !(trackedTaskbar_ != kNoWindow && isWithin(handle, trackedTaskbar_));
}

void SimDesktop::noteFocus(WindowHandle focus) {
    if (tracking_ && tracksAsFocus(focus)) trackedFocus_ = focus;
}

void SimDesktop::focus(WindowHandle handle) {
    Window* w = window(handle);
    if (!w) return;
    foreground_ = topLevel(handle);
    program(w->pid)->focus = handle;
    noteFocus(handle);
}

void SimDesktop::setCaret(WindowHandle handle, Rect caret) {
    Window* w = window(handle);
    if (!w) return;
    Program* p = program(w->pid);
    p->caretWindow = handle;
    p->caretRect = caret;
}

void SimDesktop::refuseForeground(bool refuse) { refuseForeground_ = refuse; }

WindowHandle SimDesktop::foregroundWindow() const { return window(foreground_) ? foreground_ : kNoWindow; }

bool SimDesktop::setForegroundWindow(WindowHandle handle) {
    log("setForegroundWindow");
    Window* w = window(handle);
    if (!w || refuseForeground_) return false;
    foreground_ = topLevel(handle);
    Program* p = program(w->pid);
    if (!isWithin(p->focus, foreground_)) p->focus = handle;
    noteFocus(p->focus);
    return true;
}

std::optional<GuiThreadInfo> SimDesktop::guiThreadInfo(ThreadId thread) const {
    if (thread == 0) {
        const Window* fg = window(foreground_);
        if (!fg) return GuiThreadInfo{};
        thread = program(fg->pid)->tid;
    }
    const Program* p = programOfThread(thread);
    if (!p) return std::nullopt;
    GuiThreadInfo info;
    const Window* fg = window(foreground_);
    if (fg && fg->pid == p->pid) info.active = foreground_;
    if (window(p->focus)) info.focus = p->focus;
    if (window(p->caretWindow)) {
        info.caret = p->caretWindow;
        info.caretRect = p->caretRect;
    }
    return info;
}

ThreadId SimDesktop::currentThreadId() const { return program(ownPid_)->tid; }

int32_t SimDesktop::initialize(WindowHandle taskbar, WindowHandle focus) {
    log("focus.initialize");
    tracking_ = true;
    trackedTaskbar_ = taskbar;
    trackedFocus_ = kNoWindow;
    noteFocus(focus);
    return 1;
}

int32_t SimDesktop::uninitialize() {
    log("focus.uninitialize");
    tracking_ = false;
    return 1;
}

void SimDesktop::updateTrayWindow(WindowHandle taskbar) {
    log("focus.updateTrayWindow");
    trackedTaskbar_ = taskbar;
}

WindowHandle SimDesktop::globalFocusWindow() const { return trackedFocus_; }

bool SimDesktop::focusTracking() const { return tracking_; }

// ---- messages and timers

intptr_t SimDesktop::foreignWindowProc(WindowHandle handle, uint32_t message, uintptr_t wParam,
                                       intptr_t lParam) {
    Window* w = window(handle);
    w->received.push_back({handle, message, wParam, lParam, false});
    if (!w->viewer) return 0;
    if (message == WM_DRAWCLIPBOARD) ++w->draws;
    if (!w->passesOn) return 0;
    if (message == WM_DRAWCLIPBOARD) {
        if (isWindow(w->nextViewer)) sendMessage(w->nextViewer, WM_DRAWCLIPBOARD, 0, 0);
    } else if (message == WM_CHANGECBCHAIN) {
        if (windowFromParam(wParam) == w->nextViewer)
            w->nextViewer = windowFromParam(static_cast<uintptr_t>(lParam));
        else if (isWindow(w->nextViewer))
            sendMessage(w->nextViewer, WM_CHANGECBCHAIN, wParam, lParam);
    }
    return 0;
}

intptr_t SimDesktop::sendMessage(WindowHandle handle, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) {
    Window* w = window(handle);
    if (!w || sendDepth_ >= kMaxSendDepth) return 0;
    ++sendDepth_;
    intptr_t result = 0;
    if (w->handler) {
        MessageHandler handler = w->handler;  // the handler may destroy its own window
        result = handler(message, wParam, lParam);
    } else {
        result = foreignWindowProc(handle, message, wParam, lParam);
    }
    --sendDepth_;
    return result;
}

bool SimDesktop::postMessage(WindowHandle handle, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) {
    log("postMessage");
    Window* w = window(handle);
    if (!w) return false;
    const LoggedMessage m{handle, message, wParam, lParam, true};
    posted_.push_back(m);
    if (w->handler)
        queue_.push_back(m);
    else
        w->received.push_back(m);
    return true;
}

void SimDesktop::replyMessage(intptr_t) { ++replies_; }

uint32_t SimDesktop::registerWindowMessage(std::u16string_view name) {
    log("registerWindowMessage");
    return messageNumber(name);
}

uint32_t SimDesktop::messageNumber(std::u16string_view name) {
    if (name.empty()) return 0;
    auto [it, inserted] = registeredMessages_.emplace(upper(name), nextRegisteredMessage_);
    if (inserted) ++nextRegisteredMessage_;
    return it->second;
}

bool SimDesktop::setTimer(WindowHandle handle, uintptr_t id, uint32_t periodMs) {
    log("setTimer");
    if (!window(handle)) return false;
    // As on a real desktop, a timer never runs faster than every 10 ms.
    const uint32_t period = std::max<uint32_t>(periodMs, 10);
    timers_[{static_cast<uintptr_t>(handle), id}] = Timer{period, elapsedMs_ + period};
    return true;
}

bool SimDesktop::killTimer(WindowHandle handle, uintptr_t id) {
    log("killTimer");
    return timers_.erase({static_cast<uintptr_t>(handle), id}) != 0;
}

bool SimDesktop::timerRunning(WindowHandle handle, uintptr_t id) const {
    return timers_.count({static_cast<uintptr_t>(handle), id}) != 0;
}

size_t SimDesktop::pumpMessages() {
    size_t handled = 0;
    std::vector<std::pair<uintptr_t, uintptr_t>> fired;
    for (;;) {
        if (!queue_.empty()) {
            const LoggedMessage m = queue_.front();
            queue_.pop_front();
            Window* w = window(m.window);
            if (!w || !w->handler) continue;
            MessageHandler handler = w->handler;
            handler(m.message, m.wParam, m.lParam);
            ++handled;
            continue;
        }
        // Timers come only when the queue is empty, the earliest first.
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due > elapsedMs_) continue;
            if (std::find(fired.begin(), fired.end(), it->first) != fired.end()) continue;
            if (due == timers_.end() || it->second.due < due->second.due) due = it;
        }
        if (due == timers_.end()) break;
        const auto key = due->first;
        due->second.due = elapsedMs_ + due->second.period;
        fired.push_back(key);
        queue_.push_back({static_cast<WindowHandle>(key.first), WM_TIMER, key.second, 0, true});
    }
    return handled;
}

size_t SimDesktop::queuedMessages() const { return queue_.size(); }

std::vector<LoggedMessage> SimDesktop::messagesTo(WindowHandle handle) const {
    auto it = windows_.find(static_cast<uintptr_t>(handle));
    return it == windows_.end() ? std::vector<LoggedMessage>{} : it->second.received;
}

const std::vector<LoggedMessage>& SimDesktop::postedMessages() const { return posted_; }

unsigned SimDesktop::replies() const { return replies_; }

// ---- processes

ProcessHandle SimDesktop::openProcess(ProcessId pid) {
    log("openProcess");
    const Program* p = program(pid);
    if (!p || !p->alive || !p->openable) return ProcessHandle{};
    nextProcessHandle_ += 4;
    openProcesses_.emplace(nextProcessHandle_, pid);
    return static_cast<ProcessHandle>(nextProcessHandle_);
}

uint32_t SimDesktop::waitForInputIdle(ProcessHandle handle, uint32_t timeoutMs) {
    log("waitForInputIdle");
    auto it = openProcesses_.find(static_cast<uintptr_t>(handle));
    if (it == openProcesses_.end()) return kWaitFailed;
    Program* p = program(it->second);
    if (!p->alive) return kWaitFailed;
    const uint32_t result = p->idle ? p->idle(p->idleCalls++) : kWaitIdle;
    if (result == kWaitTimeout) passTime(timeoutMs);
    return result;
}

void SimDesktop::closeProcess(ProcessHandle handle) {
    log("closeProcess");
    openProcesses_.erase(static_cast<uintptr_t>(handle));
}

std::u16string SimDesktop::processExecutablePath(ProcessId pid) const {
    const Program* p = program(pid);
    return p && p->alive ? p->path : std::u16string();
}

// ---- input

bool SimDesktop::isKeyDown(uint32_t vk) const {
    auto down = [&](uint32_t k) {
        auto it = keys_.find(k);
        return it != keys_.end() && it->second;
    };
    switch (vk) {
        case VK_CONTROL: return down(VK_LCONTROL) || down(VK_RCONTROL);
        case VK_MENU: return down(VK_LMENU) || down(VK_RMENU);
        case VK_SHIFT: return down(VK_LSHIFT) || down(VK_RSHIFT);
        default: return down(vk);
    }
}

void SimDesktop::setKeyState(uint32_t vk, bool down) { keys_[sidedKey(vk)] = down; }

void SimDesktop::keyEvent(uint32_t vk, bool up, bool injected) {
    vk = sidedKey(vk);
    // Alt without Ctrl turns key messages into system key messages.
    const bool alt = isKeyDown(VK_MENU) || ((vk == VK_LMENU || vk == VK_RMENU) && !up);
    const bool system = alt && !isKeyDown(VK_CONTROL);
    const uint32_t message =
        up ? (system ? WM_SYSKEYUP : WM_KEYUP) : (system ? WM_SYSKEYDOWN : WM_KEYDOWN);
    KeyboardEvent event;
    event.vkCode = vk;
    event.flags = injected ? LLKHF_INJECTED : 0;
    event.time = tick_;
    if (runKeyboardHooks(HC_ACTION, message, event) != 0) return;
    keys_[vk] = !up;
    const Window* fg = window(foreground_);
    if (!fg) return;
    if (Window* target = window(program(fg->pid)->focus))
        target->keys.push_back({message, vk, injected});
}

void SimDesktop::keyDown(uint32_t vk) { keyEvent(vk, false, false); }
void SimDesktop::keyUp(uint32_t vk) { keyEvent(vk, true, false); }
void SimDesktop::injectKey(uint32_t vk, bool up) { keyEvent(vk, up, true); }

uint32_t SimDesktop::sendInput(std::span<const KeyboardInput> records) {
    log("sendInput");
    for (const KeyboardInput& r : records) {
        injected_.push_back(r);
        keyEvent(r.vk, (r.flags & KEYEVENTF_KEYUP) != 0, true);
    }
    return static_cast<uint32_t>(records.size());
}

const std::vector<KeyboardInput>& SimDesktop::injectedInput() const { return injected_; }

std::vector<KeyMessage> SimDesktop::keyMessages(WindowHandle handle) const {
    auto it = windows_.find(static_cast<uintptr_t>(handle));
    return it == windows_.end() ? std::vector<KeyMessage>{} : it->second.keys;
}

HookHandle SimDesktop::setKeyboardHook(KeyboardHookProc proc) {
    log("setKeyboardHook");
    if (!proc) return HookHandle{};
    nextHook_ += 4;
    keyboardHooks_.insert(keyboardHooks_.begin(), {static_cast<HookHandle>(nextHook_), std::move(proc)});
    return static_cast<HookHandle>(nextHook_);
}

HookHandle SimDesktop::setMouseHook(MouseHookProc proc) {
    log("setMouseHook");
    if (!proc) return HookHandle{};
    nextHook_ += 4;
    mouseHooks_.insert(mouseHooks_.begin(), {static_cast<HookHandle>(nextHook_), std::move(proc)});
    return static_cast<HookHandle>(nextHook_);
}

bool SimDesktop::unhook(HookHandle hook) {
    log("unhook");
    auto drop = [&](auto& hooks) {
        auto it = std::find_if(hooks.begin(), hooks.end(), [&](const auto& h) { return h.handle == hook; });
        if (it == hooks.end()) return false;
        hooks.erase(it);
        return true;
    };
    return drop(keyboardHooks_) || drop(mouseHooks_);
}

size_t SimDesktop::keyboardHookCount() const { return keyboardHooks_.size(); }
size_t SimDesktop::mouseHookCount() const { return mouseHooks_.size(); }

namespace {

// Calls the hook after `after` (or the first, for a null handle) of the pass; 0 past the end.
template <class Hooks, class Event>
intptr_t callAfter(const Hooks& pass, HookHandle after, int code, uint32_t message, const Event& e) {
    size_t next = 0;
    if (after != HookHandle{}) {
        auto it = std::find_if(pass.begin(), pass.end(), [&](const auto& h) { return h.handle == after; });
        if (it == pass.end()) return 0;
        next = static_cast<size_t>(it - pass.begin()) + 1;
    }
    if (next >= pass.size()) return 0;
    auto proc = pass[next].proc;
    return proc(code, message, e);
}

}  // namespace

intptr_t SimDesktop::runKeyboardHooks(int code, uint32_t message, const KeyboardEvent& event) {
    // The event passes the hooks installed when it happened, whatever a hook does meanwhile.
    keyboardPasses_.push_back(keyboardHooks_);
    const intptr_t result = callAfter(keyboardPasses_.back(), HookHandle{}, code, message, event);
    keyboardPasses_.pop_back();
    return result;
}

intptr_t SimDesktop::runMouseHooks(int code, uint32_t message, const MouseEvent& event) {
    mousePasses_.push_back(mouseHooks_);
    const intptr_t result = callAfter(mousePasses_.back(), HookHandle{}, code, message, event);
    mousePasses_.pop_back();
    return result;
}

intptr_t SimDesktop::callNextKeyboardHook(HookHandle hook, int code, uint32_t message,
                                          const KeyboardEvent& event) {
    if (keyboardPasses_.empty()) return 0;
    return callAfter(keyboardPasses_.back(), hook, code, message, event);
}

intptr_t SimDesktop::callNextMouseHook(HookHandle hook, int code, uint32_t message,
                                       const MouseEvent& event) {
    if (mousePasses_.empty()) return 0;
    return callAfter(mousePasses_.back(), hook, code, message, event);
}

void SimDesktop::mouseEvent(uint32_t message, Point pt, bool injected) {
    MouseEvent event;
    event.pt = pt;
    event.flags = injected ? LLMHF_INJECTED : 0;
    event.time = tick_;
    runMouseHooks(HC_ACTION, message, event);
}

// ---- time

void SimDesktop::passTime(uint32_t ms) {
    elapsedMs_ += ms;
    tick_ += ms;  // wraps, as the real tick count does
}

void SimDesktop::advance(uint32_t ms) { passTime(ms); }
void SimDesktop::setTickCount(uint32_t tick) { tick_ = tick; }
uint32_t SimDesktop::tickCount() const { return tick_; }
std::time_t SimDesktop::currentTime() const {
    return startTime_ + static_cast<std::time_t>(elapsedMs_ / 1000);
}

void SimDesktop::sleep(uint32_t ms) {
    log("sleep");
    sleptMs_ += ms;
    passTime(ms);
}

uint64_t SimDesktop::sleptMs() const { return sleptMs_; }

const std::vector<std::string>& SimDesktop::calls() const { return calls_; }
void SimDesktop::clearCalls() { calls_.clear(); }

}  // namespace platform::sim
