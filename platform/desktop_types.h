#pragma once

// The vocabulary of the desktop: windows, threads and processes named by numbers, window
// messages, virtual keys, input records and hooks. Our own definitions; where a number crosses
// into another program (a message we post to it, a key we inject) it has the value the desktop's
// programs expect, so a backend can hand it over unchanged.

#include <cstdint>
#include <functional>

#include "platform/geometry.h"

namespace platform {

// A window of any program. The null handle names no window; a handle is never reused, so a
// destroyed window's handle simply stops being a window.
enum class WindowHandle : uintptr_t {};
inline constexpr WindowHandle kNoWindow{};

using ThreadId = uint32_t;
using ProcessId = uint32_t;

// An open process, for waiting on it. Null when it could not be opened.
enum class ProcessHandle : uintptr_t {};
// An installed input hook. Null when it could not be installed.
enum class HookHandle : uintptr_t {};

// Window messages. Parameters that carry window handles carry them as their numbers.
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_SYSKEYUP = 0x0105;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_PASTE = 0x0302;
inline constexpr uint32_t WM_DRAWCLIPBOARD = 0x0308;
inline constexpr uint32_t WM_CHANGECBCHAIN = 0x030D;  // wParam: removed window, lParam: its next
inline constexpr uint32_t WM_USER = 0x0400;

inline uintptr_t windowParam(WindowHandle w) { return static_cast<uintptr_t>(w); }
inline WindowHandle windowFromParam(uintptr_t p) { return static_cast<WindowHandle>(p); }

// A window's message handler: message, wParam, lParam in; the message's result out.
using MessageHandler = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

struct WindowThreadProcess {
    ThreadId thread = 0;
    ProcessId process = 0;
};

// What a program's user-interface thread is doing: the window with the keyboard focus, the
// active window, and the caret (a rectangle in the caret window's client coordinates).
struct GuiThreadInfo {
    WindowHandle active = kNoWindow;
    WindowHandle focus = kNoWindow;
    WindowHandle caret = kNoWindow;
    Rect caretRect;
};

// Results of waiting for a program to become idle.
inline constexpr uint32_t kWaitIdle = 0;
inline constexpr uint32_t kWaitTimeout = 258;
inline constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

// Virtual keys. Letters and digits are their upper-case characters.
inline constexpr uint32_t VK_RETURN = 0x0D;
inline constexpr uint32_t VK_SHIFT = 0x10;
inline constexpr uint32_t VK_CONTROL = 0x11;
inline constexpr uint32_t VK_MENU = 0x12;  // Alt
inline constexpr uint32_t VK_ESCAPE = 0x1B;
inline constexpr uint32_t VK_LEFT = 0x25;
inline constexpr uint32_t VK_UP = 0x26;
inline constexpr uint32_t VK_RIGHT = 0x27;
inline constexpr uint32_t VK_DOWN = 0x28;
inline constexpr uint32_t VK_INSERT = 0x2D;
inline constexpr uint32_t VK_LWIN = 0x5B;
inline constexpr uint32_t VK_RWIN = 0x5C;
inline constexpr uint32_t VK_LSHIFT = 0xA0;
inline constexpr uint32_t VK_RSHIFT = 0xA1;
inline constexpr uint32_t VK_LCONTROL = 0xA2;
inline constexpr uint32_t VK_RCONTROL = 0xA3;
inline constexpr uint32_t VK_LMENU = 0xA4;
inline constexpr uint32_t VK_RMENU = 0xA5;

// One keyboard record of injected input.
inline constexpr uint32_t KEYEVENTF_KEYUP = 0x0002;
struct KeyboardInput {
    uint16_t vk = 0;
    uint16_t scan = 0;
    uint32_t flags = 0;  // KEYEVENTF_KEYUP for a release
    uint32_t time = 0;
    uintptr_t extraInfo = 0;
    bool operator==(const KeyboardInput&) const = default;
};

// Hooks see every input event of the desktop before any program does.
inline constexpr int HC_ACTION = 0;
inline constexpr uint32_t LLKHF_INJECTED = 0x10;
inline constexpr uint32_t LLMHF_INJECTED = 0x01;

struct KeyboardEvent {
    uint32_t vkCode = 0;
    uint32_t scanCode = 0;
    uint32_t flags = 0;  // LLKHF_INJECTED when a program injected it
    uint32_t time = 0;
    uintptr_t extraInfo = 0;
};

struct MouseEvent {
    Point pt;
    uint32_t mouseData = 0;
    uint32_t flags = 0;  // LLMHF_INJECTED when a program injected it
    uint32_t time = 0;
    uintptr_t extraInfo = 0;
};

// A hook procedure returns non-zero to swallow the event; to let it go on it returns what the
// rest of the chain returned (callNext...Hook).
using KeyboardHookProc = std::function<intptr_t(int code, uint32_t message, const KeyboardEvent&)>;
using MouseHookProc = std::function<intptr_t(int code, uint32_t message, const MouseEvent&)>;

}  // namespace platform
