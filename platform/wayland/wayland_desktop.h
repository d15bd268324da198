#pragma once

// The engine's desktop on a Wayland compositor that offers a data-control protocol. As on X11,
// the clipboard is content another client offers and is read by asking it: a new offer is read
// completely and asynchronously (each wanted MIME type through a pipe, with a time limit and a
// size cap), and only then announced to the viewer as WM_DRAWCLIPBOARD; the engine then reads
// the finished snapshot at memory speed. Our own writes become a data-control source that
// serves every target of the conversions table through pipes.
//
// Wayland tells no client which client owns the clipboard or which one has the keyboard focus:
// a record captured here has no source application, and a paste goes to whatever surface has
// the focus, typed with a virtual keyboard where the compositor offers one. Where it offers
// none, the record is put on the clipboard and the user pastes it (the program says so once).
//
// Handles: the only window of another client the engine sees is kFocusedClient, standing for
// the client with the keyboard focus. The program's own windows are in-process objects.
// Everything runs on the loop's thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/exit_server.h"
#include "platform/wayland/own_windows.h"
#include "platform/wayland/wayland_connection.h"

namespace platform::wayland {

class DataDevice;
class DataOffer;
class DataSource;
class PipeWrite;
class VirtualKeyboard;

struct WaylandDesktopOptions {
    // Each transfer from another client: the longest it may go without progress.
    std::chrono::milliseconds readTimeout{5000};
    // The most bytes read of one MIME type.
    size_t maxTargetBytes = size_t{256} << 20;
    // Each transfer to another client: the longest it may go without progress.
    std::chrono::milliseconds writeTimeout{5000};
    // At exit, content of ours stays served by a process of its own until another client
    // copies (platform/exit_server.h). Off in tests that must leave nothing behind.
    bool serveAfterExit = true;
    // That process: our own executable with its internal command word; the backend's name and
    // the display's follow.
    std::vector<std::string> exitServerCommand = defaultExitServerCommand();
    // How long the program waits at exit for that process to take the clipboard over. Generous:
    // a loaded machine starts a program slowly, and until then the content is still ours.
    std::chrono::milliseconds handOverTimeout{10000};
    // Told once, the first time a paste cannot be typed (the compositor has no virtual keyboard).
    std::function<void(const std::string& message)> notice;
};

class WaylandDesktop final : public Desktop {
public:
    // The window that stands for the client with the keyboard focus.
    static constexpr WindowHandle kFocusedClient{1};

    explicit WaylandDesktop(WaylandConnection& connection, WaylandDesktopOptions options = {});
    ~WaylandDesktop() override;
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

    // False when the compositor offers no data-control protocol: nothing is captured or served.
    bool hasClipboard() const { return device_ != nullptr; }
    // Whether pastes are typed (the compositor offers a virtual keyboard).
    bool typesPastes() const { return keyboard_ != nullptr; }

    // The clipboard was emptied (its owner went away); `serial` names the content it had (see
    // snapshotSerial), which the program may put back.
    void setOnOwnerGone(std::function<void(uint64_t serial)> onOwnerGone) { onOwnerGone_ = std::move(onOwnerGone); }
    // Counts the contents read from other clients; the number of the one offered now (0 before
    // the first).
    uint64_t snapshotSerial() const { return snapshot_.serial; }
    // Whether a read of a new content is under way.
    bool reading() const { return capture_ != nullptr || announcing_; }

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
    bool unhook(HookHandle hook) override;
    intptr_t callNextKeyboardHook(HookHandle hook, int code, uint32_t message, const KeyboardEvent& event) override;
    intptr_t callNextMouseHook(HookHandle hook, int code, uint32_t message, const MouseEvent& event) override;

    // ---- time
    uint32_t tickCount() const override;
    std::time_t currentTime() const override;
    void sleep(uint32_t ms) override;

    FocusHelper& focusHelper() override;

private:
    struct Snapshot {
        uint64_t serial = 0;
        bool current = false;  // it is still the clipboard's content
        Ref<IDataObject> data;
    };
    class CaptureRead;
    class FocusedClient;

    void onSelection(std::unique_ptr<DataOffer> offer);
    void onCaptureRead(Ref<IDataObject> data);
    void announceChange();
    void tellOwnerGone(uint64_t serial);
    void serve(const std::string& mimeType, int fd);
    void dropOwnContent();

    WaylandConnection& connection_;
    WaylandDesktopOptions options_;
    std::chrono::steady_clock::time_point started_;
    OwnWindows windows_;
    std::unique_ptr<DataDevice> device_;
    std::unique_ptr<VirtualKeyboard> keyboard_;
    std::unique_ptr<FocusedClient> focus_;
    std::unique_ptr<DataOffer> offer_;  // the clipboard's content, when another client offers it
    std::unique_ptr<CaptureRead> capture_;
    WindowHandle viewer_ = kNoWindow;
    Snapshot snapshot_;
    uint64_t nextSerial_ = 1;
    // Our content on the clipboard: the source, what it serves per MIME type, the data object.
    std::unique_ptr<DataSource> ownSource_;
    std::vector<std::string> ownMimeTypes_;
    std::map<std::string, std::shared_ptr<const std::string>> ownTargets_;
    Ref<IDataObject> ownData_;
    std::map<uint64_t, std::unique_ptr<PipeWrite>> writes_;
    uint64_t nextWrite_ = 1;
    // The compositor said the clipboard is empty, and nothing has been put there since.
    bool clipboardEmpty_ = false;
    bool ownerLeftDuringRead_ = false;
    // A finished read waits for the loop to announce it.
    bool announcing_ = false;
    bool toldAboutPaste_ = false;
    std::function<void(uint64_t)> onOwnerGone_;
    std::shared_ptr<bool> alive_;
};

}  // namespace platform::wayland
