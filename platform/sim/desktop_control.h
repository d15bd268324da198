#pragma once

// How a test plays the rest of the desktop around our program: other programs and their
// windows, the user's focus and keys, other clipboard viewers, other programs copying and
// pasting, and the passing of time. The program under test never sees this interface; it sees
// only platform::Desktop.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_transfer.h"
#include "platform/desktop_types.h"

namespace platform::sim {

// One format a program puts on the clipboard. Rendered on request into a new global block
// holding exactly `bytes`. With a readError, every read of the format fails with that result
// (the format is still listed), as data whose owner cannot render it does.
struct ClipboardOffer {
    ClipFormat format = 0;
    std::string bytes;
    uint32_t tymed = TYMED_HGLOBAL;
    HResult readError = S_OK;
};

// The usual encodings: UTF-16LE with a terminating NUL; bytes with a terminating zero byte.
ClipboardOffer unicodeTextOffer(std::u16string_view text);
ClipboardOffer ansiTextOffer(std::string_view text);
ClipboardOffer bytesOffer(ClipFormat format, std::string bytes);
// Listed, but every read fails.
ClipboardOffer unreadableOffer(ClipFormat format, uint32_t tymed = TYMED_HGLOBAL);

struct LoggedMessage {
    WindowHandle window = kNoWindow;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    bool posted = false;
    bool operator==(const LoggedMessage&) const = default;
};

// A key message as the focused window of the foreground program received it.
struct KeyMessage {
    uint32_t message = 0;
    uint32_t vk = 0;
    bool injected = false;
    bool operator==(const KeyMessage&) const = default;
};

// Answers a program gives, call after call, when it is waited on for input idle. Returning
// kWaitTimeout lets the waiter's time-out pass on the clock.
using InputIdleScript = std::function<uint32_t(unsigned call)>;

class DesktopControl {
public:
    virtual ~DesktopControl() = default;

    // ---- programs and windows

    // A running program; an empty path is a program whose executable cannot be found.
    virtual ProcessId addProgram(std::u16string executablePath) = 0;
    // The program under test.
    virtual ProcessId ownProcess() const = 0;
    // Destroys the program's windows; it can no longer be opened or named by path.
    virtual void endProgram(ProcessId process) = 0;
    // When false, opening the process fails (as for a process of another user).
    virtual void setProcessOpenable(ProcessId process, bool openable) = 0;
    // Without a script a program is idle at once.
    virtual void setInputIdleScript(ProcessId process, InputIdleScript script) = 0;
    // Process handles opened and not closed yet.
    virtual size_t openProcessHandles() const = 0;

    // A window of the program; a parent makes it a child window of that one.
    virtual WindowHandle addWindow(ProcessId process, std::u16string className,
                                   WindowHandle parent = kNoWindow, Rect rect = {}) = 0;
    // Destroys the window and its children.
    virtual void closeWindow(WindowHandle window) = 0;
    // The window of class "Shell_TrayWnd".
    virtual WindowHandle taskbar() const = 0;
    // The taskbar restarts: a new window replaces the old one and every top-level window of our
    // program is sent the registered message "TaskbarCreated" (posted). Returns the new window.
    virtual WindowHandle recreateTaskbar() = 0;

    // ---- focus

    // The user clicks into the window: its top-level window comes to the front and it gets the
    // keyboard focus of its program.
    virtual void focus(WindowHandle window) = 0;
    // The program's caret, in the window's client coordinates.
    virtual void setCaret(WindowHandle window, Rect caret) = 0;
    // When true, setForegroundWindow is refused.
    virtual void refuseForeground(bool refuse) = 0;
    // Whether focus tracking was started and not ended.
    virtual bool focusTracking() const = 0;

    // ---- the clipboard viewer chain

    // A window of the program joins the chain as a viewer. A viewer that does not pass
    // notifications on ignores both chain messages, breaking the chain behind it.
    virtual WindowHandle addViewer(ProcessId process, bool passesOn) = 0;
    // How many WM_DRAWCLIPBOARD the viewer received.
    virtual unsigned drawNotifications(WindowHandle viewer) const = 0;
    virtual WindowHandle viewerChainHead() const = 0;

    // ---- the clipboard

    // The window's program puts these formats on the clipboard, in this order (a null owner is
    // data put there without a window); the chain is notified before this returns.
    virtual void copy(WindowHandle owner, std::vector<ClipboardOffer> offers) = 0;
    // What a program reading the clipboard sees offered, in order.
    virtual std::vector<FormatEtc> clipboardFormats() const = 0;
    // Another program reads a format, as a real consumer would: through getData on whatever
    // holds the data. Nothing when the read fails or the data is not on global memory.
    virtual std::optional<std::string> readClipboard(ClipFormat format,
                                                     uint32_t tymed = TYMED_HGLOBAL) = 0;
    // The next n attempts of our program to open the clipboard fail.
    virtual void failClipboardOpens(unsigned n) = 0;
    // While true, our program cannot put data on the clipboard.
    virtual void failClipboardWrites(bool fail) = 0;
    // The data object our program put there, until another copy or a flush replaces it.
    virtual IDataObject* clipboardDataObject() const = 0;

    // ---- keyboard and mouse

    // The user presses or releases a key. The hooks see it first; unless one swallows it, the
    // key state changes and the focused window of the foreground program receives it.
    virtual void keyDown(uint32_t vk) = 0;
    virtual void keyUp(uint32_t vk) = 0;
    // Another program injects the key.
    virtual void injectKey(uint32_t vk, bool up) = 0;
    // Sets the key state without any event (a key held since before the test).
    virtual void setKeyState(uint32_t vk, bool down) = 0;
    // A mouse button message at the point, through the mouse hooks.
    virtual void mouseEvent(uint32_t message, Point pt, bool injected = false) = 0;
    virtual size_t keyboardHookCount() const = 0;
    virtual size_t mouseHookCount() const = 0;
    // Every record our program injected, in order.
    virtual const std::vector<KeyboardInput>& injectedInput() const = 0;
    virtual std::vector<KeyMessage> keyMessages(WindowHandle window) const = 0;

    // ---- messages, timers and time

    // Messages sent or posted to a window of another program, in order.
    virtual std::vector<LoggedMessage> messagesTo(WindowHandle window) const = 0;
    // Every message posted to any window, in order.
    virtual const std::vector<LoggedMessage>& postedMessages() const = 0;
    // Hands the queued messages of our windows to their handlers, and then WM_TIMER of every
    // timer that is due (each at most once per call), until nothing is left. Returns how many.
    virtual size_t pumpMessages() = 0;
    // Queued messages of our windows not handled yet.
    virtual size_t queuedMessages() const = 0;
    virtual bool timerRunning(WindowHandle window, uintptr_t id) const = 0;
    // How often a handler called replyMessage.
    virtual unsigned replies() const = 0;

    // Time passes; timers fall due but fire only when messages are pumped.
    virtual void advance(uint32_t ms) = 0;
    virtual void setTickCount(uint32_t tick) = 0;
    // Milliseconds our program spent in sleep.
    virtual uint64_t sleptMs() const = 0;

    // The names of the calls our program made that change or wait on the desktop ("sleep",
    // "setClipboardViewer", "focus.initialize", ...), in order.
    virtual const std::vector<std::string>& calls() const = 0;
    virtual void clearCalls() = 0;
};

}  // namespace platform::sim
