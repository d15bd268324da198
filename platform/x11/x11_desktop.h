#pragma once

// The engine's desktop on an X server. The clipboard engine was made for a desktop with a viewer
// chain and a clipboard that is read synchronously; here the clipboard is a selection owned by
// another program and read by asking it. So a change is read first, completely and
// asynchronously (TARGETS, then each wanted format, with time-outs and size caps), and only then
// announced to the viewer as WM_DRAWCLIPBOARD; the engine then reads the finished snapshot at
// memory speed. Our own writes become ownership of CLIPBOARD.
//
// Pasting follows the window of another program the user worked in last (_NET_ACTIVE_WINDOW),
// brings it forward through the window manager, and types the paste chord its program expects
// (terminals differ) with XTest.
//
// Handles: a window of another program is its X window id. The program's own windows are
// in-process objects whose handles have the top bit set; their messages are posted through
// the event loop. Everything runs on the loop's thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/exit_server.h"
#include "platform/clipboard_snapshot.h"
#include "platform/x11/connection.h"

namespace platform::x11 {

class FocusTracker;
class KeyboardGrabs;
class KeyInjector;
class SelectionMonitor;
class SelectionOwner;
class SelectionReader;

struct X11DesktopOptions {
    // Each request to the clipboard's owner, and each INCR chunk.
    std::chrono::milliseconds readTimeout{5000};
    // The most bytes read of one target.
    size_t maxTargetBytes = size_t{256} << 20;
    // How long a running clipboard manager may take to save our content at exit.
    std::chrono::milliseconds saveTargetsTimeout{2000};
    // At exit, with nobody to hand the content to, a detached child serves it until another
    // program takes the clipboard. Off in tests that must leave nothing behind.
    bool serveAfterExit = true;
    // That process: our own executable with its internal command word (exit_server.h); the
    // backend's name and the display's follow.
    std::vector<std::string> exitServerCommand = defaultExitServerCommand();
    // How long it may take to own the clipboard. Generous: a loaded machine starts a program
    // slowly, and until then the content is still ours to serve.
    std::chrono::milliseconds exitServerTimeout{10000};
};

class X11Desktop final : public Desktop {
public:
    explicit X11Desktop(Connection& connection, X11DesktopOptions options = {});
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // The owner of the clipboard went away (its window or its whole program), leaving the
    // clipboard empty. `serial` names the content it had (see snapshotSerial); the program may
    // take the clipboard back with that content.
    void setOnOwnerGone(std::function<void(uint64_t serial)> onOwnerGone) { onOwnerGone_ = std::move(onOwnerGone); }
    // Counts the contents read from other programs; the number of the one offered now (0 before
    // the first).
    uint64_t snapshotSerial() const { return snapshot_.serial; }
    // Whether a read of a new content is under way.
    bool reading() const;
    // The process id behind a window: ours for our windows, else what the server or the window
    // tells; 0 when nothing does.
    ProcessId processOf(WindowHandle window) const;
    // A shortcut the keyboard hook could not have: another program holds the chord, or the
    // keyboard lacks a key for it. Told once for each, when the hook asks for it.
    void setOnShortcutRefused(std::function<void(const KeyChord&)> onRefused);

    // ---- windows
    WindowHandle createWindow(std::u16string_view className, MessageHandler handler) override;
    bool destroyWindow(WindowHandle window) override;
    bool isWindow(WindowHandle window) const override;
    WindowThreadProcess windowThreadProcessId(WindowHandle window) const override;
    std::u16string className(WindowHandle window, size_t maxChars) const override;
    std::optional<Rect> windowRect(WindowHandle window) const override;
    WindowHandle findWindow(std::u16string_view className) const override;
    WindowHandle foregroundWindow() const override;
    bool setForegroundWindow(WindowHandle window) override;
    std::optional<GuiThreadInfo> guiThreadInfo(ThreadId thread) const override;
    ThreadId currentThreadId() const override;

    // ---- messages and timers
    intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void replyMessage(intptr_t result) override;
    uint32_t registerWindowMessage(std::u16string_view name) override;
    bool setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs) override;
    bool killTimer(WindowHandle window, uintptr_t id) override;

    // ---- the clipboard
    WindowHandle setClipboardViewer(WindowHandle window) override;
    bool changeClipboardChain(WindowHandle removed, WindowHandle next) override;
    WindowHandle clipboardOwner() const override;
    HResult oleGetClipboard(IDataObject** out) override;
    HResult oleSetClipboard(IDataObject* data) override;
    HResult oleFlushClipboard() override;
    HResult oleIsCurrentClipboard(IDataObject* data) const override;

    // ---- processes
    ProcessHandle openProcess(ProcessId process) override;
    uint32_t waitForInputIdle(ProcessHandle process, uint32_t timeoutMs) override;
    void closeProcess(ProcessHandle process) override;
    std::u16string processExecutablePath(ProcessId process) const override;

    // ---- input
    bool isKeyDown(uint32_t vk) const override;
    uint32_t sendInput(std::span<const KeyboardInput> records) override;
    HookHandle setKeyboardHook(KeyboardHookProc proc) override;
    HookHandle setMouseHook(MouseHookProc proc) override;
    void setHookKeys(std::span<const KeyChord> keys) override;
    bool unhook(HookHandle hook) override;
    intptr_t callNextKeyboardHook(HookHandle hook, int code, uint32_t message, const KeyboardEvent& event) override;
    intptr_t callNextMouseHook(HookHandle hook, int code, uint32_t message, const MouseEvent& event) override;

    // ---- time
    uint32_t tickCount() const override;
    std::time_t currentTime() const override;
    void sleep(uint32_t ms) override;

    FocusHelper& focusHelper() override;

private:
    struct OwnWindow {
        std::u16string className;
        MessageHandler handler;
    };
    struct Snapshot {
        uint64_t serial = 0;
        WindowHandle owner = kNoWindow;  // the window that owned the content when it was read
        ProcessId ownerProcess = 0;
        bool current = false;            // it is still the clipboard's content
        Ref<IDataObject> data;
    };
    class CaptureRead;

    static bool isOwn(WindowHandle window);
    const OwnWindow* own(WindowHandle window) const;
    XId xid(WindowHandle window) const;
    void onSelectionChange(const struct SelectionChange& change);
    void onCaptureRead(WindowHandle owner, ProcessId pid, Ref<IDataObject> data);
    void announceChange();
    bool handOverToClipboardManager();
    bool serveFromFreshProcess();

    Connection& connection_;
    X11DesktopOptions options_;
    std::chrono::steady_clock::time_point started_;
    std::map<uintptr_t, OwnWindow> windows_;
    uintptr_t nextWindow_ = 1;
    std::map<std::pair<uintptr_t, uintptr_t>, EventLoop::TimerId> timers_;
    std::map<std::u16string, uint32_t> messages_;
    std::unique_ptr<SelectionMonitor> monitor_;
    std::unique_ptr<SelectionReader> reader_;
    std::unique_ptr<SelectionOwner> owner_;
    // What the terminals that paste the mouse selection on Shift+Insert get: the same content.
    std::unique_ptr<SelectionOwner> primary_;
    std::unique_ptr<KeyInjector> injector_;
    std::unique_ptr<KeyboardGrabs> keyboard_;
    std::unique_ptr<CaptureRead> capture_;
    std::unique_ptr<FocusTracker> focus_;
    WindowHandle viewer_ = kNoWindow;
    Snapshot snapshot_;
    uint64_t nextSerial_ = 1;
    Ref<IDataObject> ownData_;
    std::function<void(uint64_t)> onOwnerGone_;
    std::shared_ptr<bool> alive_;
};

}  // namespace platform::x11
