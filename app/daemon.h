#pragma once

// The resident program without windows: records the X display's clipboard into the history,
// puts records back on it, receives records from other computers when that is switched on, and
// keeps the history on disk: 2 s after the last change (so a crash loses at most seconds of
// records) and at exit. Everything runs on one io_context thread; the network's own threads only
// post to it.

#include <asio.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/control_protocol.h"
#include "cli/daemon_control.h"
#include "cli/store.h"
#include "model/record.h"

class ClipboardEngine;

namespace cb {
class RecordList;
}

namespace cli {
class Session;
}

namespace net {
class Server;
}

namespace platform::x11 {
class Connection;
class X11Desktop;
}  // namespace platform::x11

namespace app {

class AsioEventLoop;

struct DaemonSettings {
    std::filesystem::path dataFolder;
    std::string display;  // empty: $DISPLAY
    // How long after the last change the history is saved.
    std::chrono::milliseconds autosaveDelay{2000};
    // At exit, content of ours that nobody took over stays served by a detached child.
    bool serveAfterExit = true;
};

class Daemon final : public cli::Store, public cli::DaemonControl {
public:
    Daemon(asio::io_context& io, DaemonSettings settings, std::ostream& log);
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Opens the display, loads the data folder, starts the engine and, when receiving is on,
    // the receiver. False, with the reason, when the display cannot be used.
    bool start(std::string& error);
    // Flushes our clipboard content, stops receiving, saves the history and the
    // configuration, and stops the io_context. Safe to call twice.
    void shutdown();

    // ---- what the command line's commands reach while the daemon runs

    // The live history and configuration. Saving the history writes it now; saving the
    // configuration writes it and makes receiving follow option 17.
    const std::filesystem::path& folder() const override { return settings_.dataFolder; }
    AppConfig& config() override;
    cb::History& history() override;
    bool saveHistory() override { return saveHistoryNow(); }
    bool saveConfig() override;

    void pause() override;
    void start() override;
    bool copy(cb::RecordPtr record, const cb::RecordList* list) override;
    bool paste(cb::RecordPtr record, const cb::RecordList* list, bool plain) override;
    bool finishInBackground(BackgroundWork& work) override;

    // Runs a request of the control channel and gives its reply: at once, or, when the command
    // left work for the background, from this thread once that work has ended.
    void answer(const ControlRequest& request, std::function<void(ControlReply)> respond);

    // Receiving follows option 17 and the port of option 22.
    void configChanged();
    // After a command or a delivery changed the history: saved after the delay.
    void historyChanged();
    // Saves the history now (when records are kept, option 36); false when it could not be
    // written.
    bool saveHistoryNow();

    ClipboardEngine& engine() { return *engine_; }
    platform::x11::X11Desktop& desktop() { return *desktop_; }
    bool running() const { return running_; }

private:
    class NetTarget;
    class AutoSend;
    class Mailbox;

    intptr_t onMainWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void afterCapture(const cb::RecordPtr& before);
    void onOwnerGone(uint64_t serial);
    void onNetNotify(uintptr_t code);

    asio::io_context& io_;
    DaemonSettings settings_;
    std::ostream& log_;
    std::unique_ptr<AsioEventLoop> loop_;
    std::unique_ptr<platform::x11::Connection> connection_;
    std::unique_ptr<platform::x11::X11Desktop> desktop_;
    std::unique_ptr<cli::Session> session_;
    std::unique_ptr<ClipboardEngine> engine_;
    std::unique_ptr<net::Server> server_;
    std::shared_ptr<NetTarget> netTarget_;
    std::unique_ptr<AutoSend> autoSend_;
    // How the background work's results come back to this thread.
    std::shared_ptr<Mailbox> mailbox_;
    std::optional<BackgroundWork> backgroundWork_;  // left by the command being answered
    std::optional<asio::steady_timer> autosave_;
    uint64_t capturedSerial_ = 0;
    int receivePort_ = -1;
    bool running_ = false;
    bool shutDown_ = false;
};

}  // namespace app
