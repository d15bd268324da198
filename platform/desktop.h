#pragma once

// What the clipboard engine asks of the desktop: the clipboard viewer chain and the shared
// clipboard, windows and their programs, keyboard state and injected input, input hooks, timers,
// messages and time. Everything is called on the user-interface thread that owns the program's
// windows. A backend (the real display, or the simulated desktop of the tests) implements it;
// the engine never sees more than this.
//
// Every query says what it answers when the desktop cannot tell; none of them throws.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/data_transfer.h"
#include "platform/desktop_types.h"
#include "platform/focus_helper.h"
#include "platform/key_chord.h"

namespace platform {

// The shared clipboard could not be opened (another program holds it).
inline constexpr HResult CLIPBRD_E_CANT_OPEN = detail::hresult(0x800401D0);

class Desktop {
public:
    virtual ~Desktop() = default;

    // ---- windows

    // A window of this program, whose messages go to the handler: sent ones at once, posted ones
    // when the message loop gets to them. Null when it cannot be made.
    virtual WindowHandle createWindow(std::u16string_view className, MessageHandler handler) = 0;
    // False when it is not a window.
    virtual bool destroyWindow(WindowHandle window) = 0;

    // False for the null handle and for destroyed windows.
    virtual bool isWindow(WindowHandle window) const = 0;
    // The thread and process that own the window; both 0 when it is not a window.
    virtual WindowThreadProcess windowThreadProcessId(WindowHandle window) const = 0;
    // The window's class name, cut to at most maxChars characters; empty when it is not a window.
    virtual std::u16string className(WindowHandle window, size_t maxChars) const = 0;
    // The window's rectangle on the screen; nothing when it is not a window.
    virtual std::optional<Rect> windowRect(WindowHandle window) const = 0;
    // The first top-level window of the class; null when there is none.
    virtual WindowHandle findWindow(std::u16string_view className) const = 0;

    // The window the user is working in; null when there is none.
    virtual WindowHandle foregroundWindow() const = 0;
    // Brings the window's top-level window to the front. False when the desktop refuses or it is
    // not a window.
    virtual bool setForegroundWindow(WindowHandle window) = 0;
    // Thread 0 means the thread of the foreground window (all fields null when there is none);
    // nothing for an unknown thread.
    virtual std::optional<GuiThreadInfo> guiThreadInfo(ThreadId thread) const = 0;
    // The thread this program's windows belong to.
    virtual ThreadId currentThreadId() const = 0;

    // ---- messages and timers

    // Calls the window's handler and returns its result; 0 when it is not a window.
    virtual intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) = 0;
    // Queues the message for the window. False when it is not a window.
    virtual bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) = 0;
    // Inside a handler of a sent message: lets the sender go on at once with this result.
    // Nothing happens outside one.
    virtual void replyMessage(intptr_t result) = 0;
    // The same message number for the same name, for the life of the desktop session; 0 when no
    // number can be had.
    virtual uint32_t registerWindowMessage(std::u16string_view name) = 0;
    // Starts or restarts the window's timer `id`: WM_TIMER with wParam id is posted every period.
    // False when it is not a window.
    virtual bool setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs) = 0;
    // False when no such timer runs.
    virtual bool killTimer(WindowHandle window, uintptr_t id) = 0;

    // ---- the clipboard viewer chain

    // Puts the window at the head of the chain; the desktop then sends it WM_DRAWCLIPBOARD
    // before returning. Returns the window that was the head (the new viewer's next viewer),
    // null when it is the only viewer.
    virtual WindowHandle setClipboardViewer(WindowHandle window) = 0;
    // Takes the window out of the chain, telling the chain with WM_CHANGECBCHAIN(removed, next).
    virtual bool changeClipboardChain(WindowHandle removed, WindowHandle next) = 0;

    // ---- the clipboard

    // The window that put the current content there; null when nobody owns it.
    virtual WindowHandle clipboardOwner() const = 0;
    // A data object for reading the current content, with one reference for the caller.
    // CLIPBRD_E_CANT_OPEN when the clipboard is held by someone else.
    virtual HResult oleGetClipboard(IDataObject** out) = 0;
    // Makes the object the clipboard's content (it keeps a reference; null empties the
    // clipboard) and notifies the viewer chain before returning.
    virtual HResult oleSetClipboard(IDataObject* data) = 0;
    // Renders every format of the object we put there and lets it go, so the content outlives
    // this program. S_OK also when there was nothing to flush.
    virtual HResult oleFlushClipboard() = 0;
    // S_OK while the object is the clipboard's content, else S_FALSE.
    virtual HResult oleIsCurrentClipboard(IDataObject* data) const = 0;

    // ---- processes

    // Opens the process for waiting; null when it cannot be opened.
    virtual ProcessHandle openProcess(ProcessId process) = 0;
    // Waits until the process waits for user input: kWaitIdle, kWaitTimeout after timeoutMs, or
    // kWaitFailed (also for a process without a user interface).
    virtual uint32_t waitForInputIdle(ProcessHandle process, uint32_t timeoutMs) = 0;
    virtual void closeProcess(ProcessHandle process) = 0;
    // The full path of the program the process runs; empty when it cannot be found.
    virtual std::u16string processExecutablePath(ProcessId process) const = 0;

    // ---- input

    // Whether the key is down at this moment (VK_CONTROL, VK_MENU and VK_SHIFT: either one of
    // the pair); false when the desktop cannot tell.
    virtual bool isKeyDown(uint32_t vk) const = 0;
    // Injects the records as one uninterrupted sequence; returns how many were injected (0 when
    // input is blocked).
    virtual uint32_t sendInput(std::span<const KeyboardInput> records) = 0;
    // Installs a hook that sees every key or mouse event of the desktop on this thread. Null when
    // it cannot be installed.
    virtual HookHandle setKeyboardHook(KeyboardHookProc proc) = 0;
    virtual HookHandle setMouseHook(MouseHookProc proc) = 0;
    // The chords the keyboard hook must see, on a desktop whose hook sees only the keys it asks
    // for (the others go to the programs untouched); a key-up of Ctrl, Alt or Win reaches it
    // whatever is asked. A desktop whose hook sees every key ignores this.
    virtual void setHookKeys(std::span<const KeyChord> keys) { (void)keys; }
    // False for a hook that is not installed.
    virtual bool unhook(HookHandle hook) = 0;
    // What the hooks after this one (and the desktop) make of the event; 0 lets it go on.
    virtual intptr_t callNextKeyboardHook(HookHandle hook, int code, uint32_t message,
                                          const KeyboardEvent& event) = 0;
    virtual intptr_t callNextMouseHook(HookHandle hook, int code, uint32_t message,
                                       const MouseEvent& event) = 0;

    // ---- time

    // Milliseconds since the session started; wraps after 49.7 days.
    virtual uint32_t tickCount() const = 0;
    // The current calendar time.
    virtual std::time_t currentTime() const = 0;
    // Blocks this thread; no message is handled meanwhile.
    virtual void sleep(uint32_t ms) = 0;

    // ---- focus tracking across programs
    virtual FocusHelper& focusHelper() = 0;
};

}  // namespace platform
