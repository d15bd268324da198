#pragma once

// A deterministic desktop in memory: programs and windows, the viewer chain, the clipboard,
// focus and keys, hooks, a message queue and a manual clock. Hand desktop() to the program under
// test and drive everything else through control().

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/sim/desktop_control.h"

namespace platform::sim {

class SimDesktop final : public Desktop, public FocusHelper, public DesktopControl {
public:
    // Our program runs as "/opt/quillet/quillet" with this process's real id (data we tag with
    // it must match); a taskbar program owns the "Shell_TrayWnd" window. The clock starts at
    // tick 1,000,000 on 2024-03-01 12:00:00 UTC.
    SimDesktop();
    ~SimDesktop() override;
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    Desktop& desktop() { return *this; }
    DesktopControl& control() { return *this; }

    // ---- Desktop
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
    intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override;
    bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    void replyMessage(intptr_t result) override;
    uint32_t registerWindowMessage(std::u16string_view name) override;
    bool setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs) override;
    bool killTimer(WindowHandle window, uintptr_t id) override;
    WindowHandle setClipboardViewer(WindowHandle window) override;
    bool changeClipboardChain(WindowHandle removed, WindowHandle next) override;
    WindowHandle clipboardOwner() const override;
    HResult oleGetClipboard(IDataObject** out) override;
    HResult oleSetClipboard(IDataObject* data) override;
    HResult oleFlushClipboard() override;
    HResult oleIsCurrentClipboard(IDataObject* data) const override;
    ProcessHandle openProcess(ProcessId process) override;
    uint32_t waitForInputIdle(ProcessHandle process, uint32_t timeoutMs) override;
    void closeProcess(ProcessHandle process) override;
    std::u16string processExecutablePath(ProcessId process) const override;
    bool isKeyDown(uint32_t vk) const override;
    uint32_t sendInput(std::span<const KeyboardInput> records) override;
    HookHandle setKeyboardHook(KeyboardHookProc proc) override;
    HookHandle setMouseHook(MouseHookProc proc) override;
    bool unhook(HookHandle hook) override;
    intptr_t callNextKeyboardHook(HookHandle hook, int code, uint32_t message,
                                  const KeyboardEvent& event) override;
    intptr_t callNextMouseHook(HookHandle hook, int code, uint32_t message,
                               const MouseEvent& event) override;
    uint32_t tickCount() const override;
    std::time_t currentTime() const override;
    void sleep(uint32_t ms) override;
    FocusHelper& focusHelper() override { return *this; }

    // ---- FocusHelper
    int32_t initialize(WindowHandle taskbar, WindowHandle focus) override;
    int32_t uninitialize() override;
    void updateTrayWindow(WindowHandle taskbar) override;
    WindowHandle globalFocusWindow() const override;

    // ---- DesktopControl
    ProcessId addProgram(std::u16string executablePath) override;
    ProcessId ownProcess() const override;
    void endProgram(ProcessId process) override;
    void setProcessOpenable(ProcessId process, bool openable) override;
    void setInputIdleScript(ProcessId process, InputIdleScript script) override;
    size_t openProcessHandles() const override;
    WindowHandle addWindow(ProcessId process, std::u16string className, WindowHandle parent,
                           Rect rect) override;
    void closeWindow(WindowHandle window) override;
    WindowHandle taskbar() const override;
    WindowHandle recreateTaskbar() override;
    void focus(WindowHandle window) override;
    void setCaret(WindowHandle window, Rect caret) override;
    void refuseForeground(bool refuse) override;
    bool focusTracking() const override;
    WindowHandle addViewer(ProcessId process, bool passesOn) override;
    unsigned drawNotifications(WindowHandle viewer) const override;
    WindowHandle viewerChainHead() const override;
    void copy(WindowHandle owner, std::vector<ClipboardOffer> offers) override;
    std::vector<FormatEtc> clipboardFormats() const override;
    std::optional<std::string> readClipboard(ClipFormat format, uint32_t tymed) override;
    void failClipboardOpens(unsigned n) override;
    void failClipboardWrites(bool fail) override;
    IDataObject* clipboardDataObject() const override;
    void keyDown(uint32_t vk) override;
    void keyUp(uint32_t vk) override;
    void injectKey(uint32_t vk, bool up) override;
    void setKeyState(uint32_t vk, bool down) override;
    void mouseEvent(uint32_t message, Point pt, bool injected) override;
    size_t keyboardHookCount() const override;
    size_t mouseHookCount() const override;
    const std::vector<KeyboardInput>& injectedInput() const override;
    std::vector<KeyMessage> keyMessages(WindowHandle window) const override;
    std::vector<LoggedMessage> messagesTo(WindowHandle window) const override;
    const std::vector<LoggedMessage>& postedMessages() const override;
    size_t pumpMessages() override;
    size_t queuedMessages() const override;
    bool timerRunning(WindowHandle window, uintptr_t id) const override;
    unsigned replies() const override;
    void advance(uint32_t ms) override;
    void setTickCount(uint32_t tick) override;
    uint64_t sleptMs() const override;
    const std::vector<std::string>& calls() const override;
    void clearCalls() override;

    // One format on the clipboard: the pair offered, and for data a program put there, its bytes.
    struct ClipEntry {
        FormatEtc format;
        std::shared_ptr<const std::string> bytes;
        HResult readError = S_OK;
    };

private:
    struct Program {
        ProcessId pid = 0;
        ThreadId tid = 0;
        std::u16string path;
        bool alive = true;
        bool openable = true;
        InputIdleScript idle;
        unsigned idleCalls = 0;
        WindowHandle focus = kNoWindow;
        WindowHandle caretWindow = kNoWindow;
        Rect caretRect;
    };
    struct Window {
        ProcessId pid = 0;
        std::u16string className;
        WindowHandle parent = kNoWindow;
        Rect rect;
        MessageHandler handler;  // set for our program's windows
        bool alive = true;
        bool viewer = false;
        bool passesOn = true;
        WindowHandle nextViewer = kNoWindow;
        unsigned draws = 0;
        std::vector<LoggedMessage> received;
        std::vector<KeyMessage> keys;
    };
    template <class Proc>
    struct Hook {
        HookHandle handle;
        Proc proc;
    };

    Window* window(WindowHandle handle);
    const Window* window(WindowHandle handle) const;
    Program* program(ProcessId pid);
    const Program* program(ProcessId pid) const;
    const Program* programOfThread(ThreadId tid) const;
    WindowHandle newWindow(ProcessId pid, std::u16string className, WindowHandle parent, Rect rect,
                           MessageHandler handler);
    WindowHandle topLevel(WindowHandle handle) const;
    bool isWithin(WindowHandle child, WindowHandle ancestor) const;
    void noteFocus(WindowHandle focus);
    bool tracksAsFocus(WindowHandle window) const;
    intptr_t foreignWindowProc(WindowHandle handle, uint32_t message, uintptr_t wParam,
                               intptr_t lParam);
    WindowHandle join(WindowHandle viewer);
    void notifyViewers();
    WindowHandle oleWindow();
    void keyEvent(uint32_t vk, bool up, bool injected);
    intptr_t runKeyboardHooks(int code, uint32_t message, const KeyboardEvent& event);
    intptr_t runMouseHooks(int code, uint32_t message, const MouseEvent& event);
    uint32_t messageNumber(std::u16string_view name);
    void log(std::string call) { calls_.push_back(std::move(call)); }
    void passTime(uint32_t ms);

    std::map<ProcessId, Program> programs_;
    std::map<uintptr_t, Window> windows_;
    uintptr_t nextWindow_ = 0x10000;
    ProcessId nextPid_ = 4000;
    ThreadId nextTid_ = 7000;
    ProcessId ownPid_ = 0;
    ProcessId taskbarPid_ = 0;
    WindowHandle taskbar_ = kNoWindow;
    WindowHandle foreground_ = kNoWindow;
    bool refuseForeground_ = false;

    // processes opened for waiting: handle -> process
    std::map<uintptr_t, ProcessId> openProcesses_;
    uintptr_t nextProcessHandle_ = 0x500;

    // focus tracking
    bool tracking_ = false;
    WindowHandle trackedTaskbar_ = kNoWindow;
    WindowHandle trackedFocus_ = kNoWindow;

    // messages and timers
    std::deque<LoggedMessage> queue_;
    std::vector<LoggedMessage> posted_;
    struct Timer {
        uint32_t period = 0;
        uint64_t due = 0;
    };
    std::map<std::pair<uintptr_t, uintptr_t>, Timer> timers_;
    std::map<std::u16string, uint32_t> registeredMessages_;
    uint32_t nextRegisteredMessage_ = 0xC000;
    unsigned replies_ = 0;
    unsigned sendDepth_ = 0;

    // the viewer chain and the clipboard
    WindowHandle chainHead_ = kNoWindow;
    WindowHandle clipOwner_ = kNoWindow;
    std::vector<ClipEntry> clip_;
    Ref<IDataObject> clipSource_;  // our program's data object, until replaced or flushed
    WindowHandle oleWindow_ = kNoWindow;
    unsigned failOpens_ = 0;
    bool failWrites_ = false;

    // input
    std::map<uint32_t, bool> keys_;
    std::vector<Hook<KeyboardHookProc>> keyboardHooks_;  // newest first
    std::vector<Hook<MouseHookProc>> mouseHooks_;
    // The hooks an event is passing through, innermost event last.
    std::vector<std::vector<Hook<KeyboardHookProc>>> keyboardPasses_;
    std::vector<std::vector<Hook<MouseHookProc>>> mousePasses_;
    uintptr_t nextHook_ = 0x900;
    std::vector<KeyboardInput> injected_;

    // time
    uint32_t tick_ = 1'000'000;
    uint64_t elapsedMs_ = 0;
    std::time_t startTime_ = 1709294400;  // 2024-03-01 12:00:00 UTC
    uint64_t sleptMs_ = 0;

    std::vector<std::string> calls_;
};

}  // namespace platform::sim
