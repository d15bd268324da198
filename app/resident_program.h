#pragma once

// The resident program, whatever loop and windows it runs with: it holds the data folder (its
// lock, the history and the configuration), records the clipboard through the engine on the
// desktop backend, puts records back, receives records from other computers when that is on,
// answers the command line on the control socket, takes the clipboard back when its owner
// exits with our record, and keeps the history on disk: written on a worker thread a moment
// after each change and at exit.
//
// It runs on one event loop (platform/event_loop.h): the headless daemon's asio loop or the
// windowed program's Qt loop. Every public member is called on that loop's thread, and every
// hook runs there. Other threads (network, background commands, saves) reach it only through
// its mailbox, which posts to the loop.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/control_protocol.h"
#include "app/desktop_backend.h"
#include "cli/daemon_control.h"
#include "cli/store.h"
#include "model/record.h"
#include "platform/event_loop.h"

class AppConfig;
class ClipboardEngine;

namespace net {
class NetworkLog;
}  // namespace net

namespace cb {
class History;
class RecordList;
}  // namespace cb

namespace app {

struct ResidentSettings {
    std::filesystem::path dataFolder;  // made absolute by the caller
    DesktopSettings desktop;
    // Builds the desktop backend; by default makeDesktopBackend(). Tests pass their own.
    std::function<std::unique_ptr<DesktopBackend>(platform::EventLoop&, const DesktopSettings&, std::string&)>
        makeDesktop;
    // How long after the last change the history is saved.
    std::chrono::milliseconds autosaveDelay{2000};
    // How the program names itself in its log lines: "quillet daemon", "quillet".
    std::string name = "quillet";
};

// What the shell hears of. Each runs on the loop's thread; any may be left empty.
struct ResidentHooks {
    // A capture added a record to the history (the tray's animation).
    std::function<void(const cb::RecordPtr& record)> recordCaptured;
    // Records from other computers were added to the history.
    std::function<void()> recordsReceived;
    // The history changed by any route (capture, receiving, a command); its save is scheduled.
    std::function<void()> historyChanged;
    // Another start of the program, or `quillet` without a command word, asked this one to come
    // forward: the windowed program shows its main window.
    std::function<void()> activationRequested;
    // `quillet popup [--plain]`: open the popup at the caret. Left empty where there are no
    // windows (the daemon), which the command then reports.
    std::function<void(bool plainText)> popupRequested;
    // The program ended itself (the desktop went away) after saving: the shell leaves its loop.
    // Not called for a shutdown() the shell asked for.
    std::function<void()> ended;
};

class ResidentProgram final : public cli::Store, public cli::DaemonControl {
public:
    ResidentProgram(platform::EventLoop& loop, ResidentSettings settings, std::ostream& log);
    // Calls shutdown() when it has not run.
    ~ResidentProgram() override;
    ResidentProgram(const ResidentProgram&) = delete;
    ResidentProgram& operator=(const ResidentProgram&) = delete;

    void setHooks(ResidentHooks hooks);

    enum class StartOutcome {
        Started,
        // Another resident program holds this data folder: it was asked to come forward, and
        // this one has nothing to do (exit status 0).
        AlreadyRunning,
        // Nothing started; message() says why (exit status 1).
        Failed,
    };
    // Takes the data folder's lock and the display's, opens the desktop, loads the data folder,
    // starts the engine, receiving (option 17) and the control socket.
    StartOutcome startUp();
    // Why startUp() failed or found another holder; one sentence, without the program's name.
    const std::string& message() const { return message_; }

    // Flushes our clipboard content, stops receiving and the control socket, waits for a save
    // under way, writes the history and the configuration, and lets the data folder go. Safe to
    // call twice. The loop itself keeps running: the shell leaves it.
    void shutdown();
    bool running() const { return running_; }

    // ---- for the shell's windows

    ClipboardEngine& engine();
    DesktopBackend& desktop();
    // The transfers' log (automatic sends; a window's sends may add to it).
    const std::shared_ptr<net::NetworkLog>& networkLog();
    // Tells the program the configuration was changed: receiving follows option 17 and its
    // port, without waiting for the network, and the shortcuts are grabbed again.
    void configChanged();
    // The receiving settings were written (trusted clients, their address check): a running
    // receiver starts again with them.
    void receiverSettingsChanged();
    // Whether the program is ending, for transfers started by hand; valid after the program.
    std::function<bool()> shuttingDownCheck() const;
    // Tells the program the history was changed: saved a moment later.
    void historyChanged();
    // Waits for a save under way and writes the history now, on this thread; false when it
    // could not be written. Holds up the loop: for tests and tools, never for windows.
    bool saveHistoryNow();

    // ---- cli::Store: the live history and configuration
    const std::filesystem::path& folder() const override { return settings_.dataFolder; }
    AppConfig& config() override;
    cb::History& history() override;
    // A command's change: saved on the worker at once.
    bool saveHistory() override;
    bool saveConfig() override;

    // ---- cli::DaemonControl: what only the resident program can do
    // Recording the clipboard off and on (option 18), kept in the configuration file at once.
    void pause() override;
    void start() override;
    bool copy(cb::RecordPtr record, const cb::RecordList* list) override;
    bool paste(cb::RecordPtr record, const cb::RecordList* list, bool plain) override;
    bool showPopup(bool plainText) override;
    bool finishInBackground(BackgroundWork& work) override;

    // Runs a request of the control channel and gives its reply: at once, or, when the command
    // left work for the background, from the loop once that work has ended.
    void answer(const ControlRequest& request, std::function<void(ControlReply)> respond);

    struct Parts;  // everything startUp() makes, in the order it is torn down

private:
    void onCaptureMessage(const cb::RecordPtr& before);
    void onOwnerGone(uint64_t serial);
    void onNetNotify(uintptr_t code);
    void fail(std::string message);

    platform::EventLoop& loop_;
    ResidentSettings settings_;
    std::ostream& log_;
    ResidentHooks hooks_;
    std::unique_ptr<Parts> parts_;
    std::optional<BackgroundWork> backgroundWork_;  // left by the command being answered
    std::string message_;
    uint64_t capturedSerial_ = 0;
    bool running_ = false;
    bool shutDown_ = false;
};

}  // namespace app
