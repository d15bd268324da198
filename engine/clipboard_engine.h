#pragma once

// The clipboard engine: keeps the main window in the clipboard viewer chain, turns every change
// of the clipboard by another program into a record at the front of the listening list, puts
// records back on the clipboard, pastes them into the program the user was typing in, and runs
// the keyboard hook that sees the program's shortcuts.
//
// Everything runs on the user-interface thread: the main window's handler passes the messages
// in (handleMessage), and the desktop calls the keyboard hook between messages. Failures never
// reach the user: a change that cannot be captured is simply not captured.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_services.h"
#include "model/data_object.h"
#include "model/record.h"
#include "platform/desktop.h"

class AppConfig;

namespace cb {
class History;
class RecordList;
}  // namespace cb

class ClipboardEngine {
public:
    // Nothing happens on the desktop until start. The desktop, the configuration and the
    // history outlive the engine.
    ClipboardEngine(platform::Desktop& desktop, AppConfig& config, cb::History& history);
    ~ClipboardEngine();
    ClipboardEngine(const ClipboardEngine&) = delete;
    ClipboardEngine& operator=(const ClipboardEngine&) = delete;

    // Not owned; null switches the service off.
    void setAutoSendTarget(engine::AutoSendTarget* target) { autoSend_ = target; }
    void setTrayAnimation(engine::TrayAnimation* tray) { tray_ = tray; }
    // Without a dispatch the hook asks the desktop for no keys: nothing would act on them.
    void setKeyboardDispatch(engine::KeyboardDispatch* dispatch);
    // What a captured record may hold: what the history file can keep and read again. Tests
    // make it small.
    void setRecordLimits(const cmn::archive::RecordLimits& limits) { recordLimits_ = limits; }

    // ---- lifecycle

    // Looks up the taskbar, starts focus tracking with the window that has the focus now, joins
    // the viewer chain when recording (option 18) is on, and installs the keyboard hook.
    void start(platform::WindowHandle mainWindow);
    // Flushes our own clipboard content so that it outlives the program, leaves the chain, ends
    // focus tracking, forgets the last capture and record, and removes the keyboard hook. False
    // when our content was on the clipboard and the flush could not keep it there.
    bool stop();
    // Recording off and out of the chain; nothing while it is off already.
    void pause();
    // Recording on and back in the chain (the notification of joining is not captured);
    // nothing while it is on already.
    void resume();

    // ---- the main window's messages

    // Handles WM_DRAWCLIPBOARD, WM_CHANGECBCHAIN, WM_TIMER of the chain check, the registered
    // "TaskbarCreated" (acted on but reported as not handled, so the tray icon sees it too),
    // WM_CAPTURE_CLIPBOARD and WM_SEND_PASTE_KEYS. On true, result holds the message's result.
    bool handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result);

    // Checks the chain in a second: if no clipboard notification arrived by then, the chain is
    // taken to be broken and the engine joins it again, capturing the current content.
    void startChainCheck();

    // ---- capture

    // True when the program owning the window reported itself idle. Waits at most five times
    // three seconds.
    bool waitUntilIdle(platform::WindowHandle window);
    // The executable of the process; empty when it cannot be found.
    std::u16string processPath(platform::ProcessId process);
    // Reads the clipboard's formats into the empty container and completes the record from
    // them. False when our own or ignorable data is there, nothing could be read, or the record
    // could not be completed.
    bool readClipboard(cb::Record& record, cb::DataObject& items);
    // The capture request: a new record at the front of the listening list, unless one of the
    // rules says this change is not kept.
    void capture();

    // ---- the clipboard writer

    // Puts the record on the clipboard through a new data object of ours, without the formats
    // whose pasting is switched off. The list is the one the record was taken from, or null.
    bool writeRecord(const cb::RecordPtr& record, const cb::RecordList* list);

    // ---- pasting

    // Writes the record to the clipboard and pastes it into the window that had the focus.
    // False only when the record could not be written.
    bool pasteRecord(const cb::RecordPtr& record, const cb::RecordList* list);
    // Makes the window that had the focus paste what is on the clipboard: edit controls get a
    // paste message, every other window Ctrl+V keystrokes (injected from WM_SEND_PASTE_KEYS).
    // False when there is no such window.
    bool deliverPaste();
    // Injects Ctrl+V, leaving the modifiers as the user holds them, and re-arms the hook.
    void sendPasteKeys();

    // ---- the keyboard hook

    void installKeyboardHook();
    void removeKeyboardHook();
    bool keyboardHookInstalled() const { return hook_ != platform::HookHandle{}; }
    // Tells the desktop again which chords the hook must see: after the shortcut options
    // changed, and when a picking window (popup or menu window) appears or goes, since its
    // keys (Up, Down, Enter, Escape) are wanted only while it shows.
    void updateHookKeys();
    void setPickingWindowShown(bool shown);

    // ---- state, for the windows that show it and for tests

    // The items of the most recent capture; null after our own write.
    const cb::DataObject* lastCaptured() const { return lastCaptured_.get(); }
    // The record most recently captured or put on the clipboard by us.
    const cb::RecordPtr& lastRecord() const { return lastRecord_; }
    // The data object we last put on the clipboard.
    cb::DataObject* ownDataObject() const { return ownDataObject_.get(); }
    platform::WindowHandle nextViewer() const { return nextViewer_; }
    platform::WindowHandle taskbarWindow() const { return taskbarWindow_; }
    platform::WindowHandle mainWindow() const { return mainWindow_; }

private:
    intptr_t onDrawClipboard();
    void onChangeClipboardChain(platform::WindowHandle removed, platform::WindowHandle next);
    void onChainCheck();
    void onTaskbarCreated();
    void joinChain();
    void leaveChain();
    bool listeningListCanAdd() const;
    void captureSteps();
    bool writeRecordSteps(const cb::RecordPtr& record, const cb::RecordList* list);
    intptr_t keyboardHookProc(int code, uint32_t message, const platform::KeyboardEvent& event);

    platform::Desktop& desktop_;
    AppConfig& config_;
    cb::History& history_;
    engine::AutoSendTarget* autoSend_ = nullptr;
    cmn::archive::RecordLimits recordLimits_ = cmn::archive::RecordLimits::forFiles();
    engine::TrayAnimation* tray_ = nullptr;
    engine::KeyboardDispatch* dispatch_ = nullptr;

    platform::WindowHandle mainWindow_ = platform::kNoWindow;
    uint32_t taskbarCreatedMessage_ = 0;

    std::unique_ptr<cb::DataObject> lastCaptured_;
    cb::RecordPtr lastRecord_;
    platform::Ref<cb::DataObject> ownDataObject_;
    platform::WindowHandle taskbarWindow_ = platform::kNoWindow;
    uint32_t lastChangeTick_ = 0;
    platform::WindowHandle nextViewer_ = platform::kNoWindow;
    bool joining_ = false;
    bool writing_ = false;
    platform::HookHandle hook_{};
    bool pickingWindowShown_ = false;
};
