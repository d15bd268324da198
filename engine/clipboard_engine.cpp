// The engine's life, the viewer chain and the main window's messages.

#include "engine/clipboard_engine.h"

#include "engine/engine_messages.h"
#include "model/history.h"
#include "persist/config/app_config.h"

using namespace platform;
using engine::kChainCheckPeriodMs;
using engine::kChainCheckTimer;

ClipboardEngine::ClipboardEngine(Desktop& desktop, AppConfig& config, cb::History& history)
    : desktop_(desktop), config_(config), history_(history) {}

ClipboardEngine::~ClipboardEngine() {
    // The hook calls back into this object; it must not outlive it, even without a stop.
    removeKeyboardHook();
}

// ---- lifecycle

void ClipboardEngine::start(WindowHandle mainWindow) {
    mainWindow_ = mainWindow;
    taskbarCreatedMessage_ = desktop_.registerWindowMessage(u"TaskbarCreated");
    // Finding a program's executable needs no preparation here: the desktop answers it.
    taskbarWindow_ = desktop_.findWindow(u"Shell_TrayWnd");
    const std::optional<GuiThreadInfo> foreground = desktop_.guiThreadInfo(0);
    desktop_.focusHelper().initialize(taskbarWindow_, foreground ? foreground->focus : kNoWindow);
    if (config_.getBool(kOptRecording, true)) joinChain();
    installKeyboardHook();
}

bool ClipboardEngine::stop() {
    // What we put on the clipboard stays there after we are gone.
    bool kept = true;
    if (ownDataObject_ && desktop_.oleIsCurrentClipboard(ownDataObject_.get()) == S_OK)
        kept = !failed(desktop_.oleFlushClipboard());
    ownDataObject_.reset();
    leaveChain();
    desktop_.focusHelper().uninitialize();
    lastCaptured_.reset();
    lastRecord_.reset();
    removeKeyboardHook();
    return kept;
}

void ClipboardEngine::pause() {
    if (!config_.getBool(kOptRecording, true)) return;
    config_.setBool(kOptRecording, false);
    leaveChain();
}

void ClipboardEngine::resume() {
    if (config_.getBool(kOptRecording, true)) return;
    config_.setBool(kOptRecording, true);
    joinChain();
}

// ---- the viewer chain

void ClipboardEngine::joinChain() {
    // Joining makes the desktop notify us at once; that notification is not a change.
    joining_ = true;
    nextViewer_ = desktop_.setClipboardViewer(mainWindow_);
    joining_ = false;
}

void ClipboardEngine::leaveChain() {
    desktop_.changeClipboardChain(mainWindow_,
                                  desktop_.isWindow(nextViewer_) ? nextViewer_ : kNoWindow);
}

bool ClipboardEngine::listeningListCanAdd() const {
    const cb::RecordList* list = history_.listeningList();
    return list != nullptr && list->canAdd();
}

intptr_t ClipboardEngine::onDrawClipboard() {
    lastChangeTick_ = desktop_.tickCount();
    // The program that changed the clipboard goes on at once; the capture comes later from the
    // message queue, so a slow owner never holds up the other viewers.
    desktop_.replyMessage(0);
    if (joining_) return 0;
    intptr_t result = 0;
    // A chain that leads back to us would never end.
    if (desktop_.isWindow(nextViewer_) && nextViewer_ != mainWindow_)
        result = desktop_.sendMessage(nextViewer_, WM_DRAWCLIPBOARD, 0, 0);
    if (!writing_ && listeningListCanAdd())
        desktop_.postMessage(mainWindow_, engine::WM_CAPTURE_CLIPBOARD, 0, 0);
    return result;
}

void ClipboardEngine::onChangeClipboardChain(WindowHandle removed, WindowHandle next) {
    if (removed == nextViewer_) nextViewer_ = next;
    if (desktop_.isWindow(nextViewer_) && nextViewer_ != mainWindow_)
        desktop_.sendMessage(nextViewer_, WM_CHANGECBCHAIN, windowParam(removed),
                             static_cast<intptr_t>(windowParam(next)));
}

void ClipboardEngine::startChainCheck() {
    desktop_.setTimer(mainWindow_, kChainCheckTimer, kChainCheckPeriodMs);
}

void ClipboardEngine::onChainCheck() {
    desktop_.killTimer(mainWindow_, kChainCheckTimer);
    if (!config_.getBool(kOptRecording, true)) return;
    const uint32_t sinceChange = desktop_.tickCount() - lastChangeTick_;  // wraps as the tick does
    if (sinceChange <= kChainCheckPeriodMs) return;
    // No notification since the copy: someone before us dropped it. Joining again puts us at
    // the head, and the notification of joining is captured like any change.
    leaveChain();
    nextViewer_ = desktop_.setClipboardViewer(mainWindow_);
}

void ClipboardEngine::onTaskbarCreated() {
    taskbarWindow_ = desktop_.findWindow(u"Shell_TrayWnd");
    desktop_.focusHelper().updateTrayWindow(taskbarWindow_);
}

bool ClipboardEngine::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                                    intptr_t& result) {
    switch (message) {
        case WM_DRAWCLIPBOARD:
            result = onDrawClipboard();
            return true;
        case WM_CHANGECBCHAIN:
            onChangeClipboardChain(windowFromParam(wParam),
                                   windowFromParam(static_cast<uintptr_t>(lParam)));
            result = 0;
            return true;
        case WM_TIMER:
            if (wParam != kChainCheckTimer) return false;
            onChainCheck();
            result = 0;
            return true;
        case engine::WM_CAPTURE_CLIPBOARD:
            capture();
            result = 0;
            return true;
        case engine::WM_SEND_PASTE_KEYS:
            sendPasteKeys();
            result = 0;
            return true;
        default:
            if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) onTaskbarCreated();
            return false;
    }
}
