#include "app/daemon.h"

#include <boost/make_shared.hpp>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

#include "app/answer_request.h"
#include "app/asio_event_loop.h"
#include "cli/session.h"
#include "engine/capture_rules.h"
#include "engine/clipboard_writer.h"
#include "engine/clipboard_engine.h"
#include "engine/engine_messages.h"
#include "engine/engine_services.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "net/notify.h"
#include "net/sender.h"
#include "net/server.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/x11/connection.h"
#include "platform/x11/x11_desktop.h"

namespace app {

// Hands functions from other threads to the daemon's thread for as long as the daemon exists;
// after that they are dropped where they were given.
class Daemon::Mailbox {
public:
    explicit Mailbox(asio::io_context& io) : io_(&io) {}
    void post(std::function<void()> call) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (io_) asio::post(*io_, std::move(call));
    }
    void close() {
        const std::lock_guard<std::mutex> lock(mutex_);
        io_ = nullptr;
    }

private:
    std::mutex mutex_;
    asio::io_context* io_;
};

// The network threads' posts, brought to the daemon's thread.
class Daemon::NetTarget final : public net::MessageTarget {
public:
    NetTarget(std::shared_ptr<Mailbox> mailbox, Daemon& daemon) : mailbox_(std::move(mailbox)), daemon_(&daemon) {}
    void post(unsigned message, uintptr_t wParam, intptr_t) override {
        if (message != net::kMsgNetNotify) return;
        mailbox_->post([this, wParam] {
            if (daemon_) daemon_->onNetNotify(wParam);
        });
    }
    void detach() { daemon_ = nullptr; }

private:
    std::shared_ptr<Mailbox> mailbox_;
    Daemon* daemon_;
};

// Each captured record goes to the automatic-send hosts on transfers of their own, which end
// when the daemon's server shuts down.
class Daemon::AutoSend final : public engine::AutoSendTarget {
public:
    explicit AutoSend(const net::Server& server) { settings_.shuttingDown = server.shuttingDownCheck(); }
    bool sendRecord(const NetworkAddress& host, const cb::RecordPtr& record) override {
        return record && net::sendToHosts(*record, {host}, settings_) == 1;
    }

private:
    net::SenderSettings settings_;
};

Daemon::Daemon(asio::io_context& io, DaemonSettings settings, std::ostream& log)
    : io_(io), settings_(std::move(settings)), log_(log), mailbox_(std::make_shared<Mailbox>(io)) {}

Daemon::~Daemon() {
    mailbox_->close();
    if (netTarget_) netTarget_->detach();
    if (server_) server_->setNotifyTarget(nullptr);
    if (engine_) engine_->stop();
    // The engine refers to the desktop, the desktop to the connection, the connection to the loop.
    engine_.reset();
    desktop_.reset();
    if (loop_ && connection_) loop_->unwatch(connection_->fd());
    connection_.reset();
}

bool Daemon::start(std::string& error) {
    loop_ = std::make_unique<AsioEventLoop>(io_);
    connection_ = platform::x11::Connection::open(
        *loop_, settings_.display.empty() ? nullptr : settings_.display.c_str(), &error);
    if (!connection_) return false;
    loop_->watch(connection_->fd(), [this] { connection_->processPendingEvents(); });
    connection_->setOnLost([this] {
        log_ << "quillet daemon: the connection to the X display was lost; saving and ending.\n";
        shutdown();
    });

    platform::x11::X11DesktopOptions desktopOptions;
    desktopOptions.serveAfterExit = settings_.serveAfterExit;
    desktop_ = std::make_unique<platform::x11::X11Desktop>(*connection_, desktopOptions);
    desktop_->setOnOwnerGone([this](uint64_t serial) { onOwnerGone(serial); });

    session_ = std::make_unique<cli::Session>(settings_.dataFolder);
    AppConfig& config = session_->config();
    cb::History& history = session_->history();

    server_ = std::make_unique<net::Server>(config);
    engine_ = std::make_unique<ClipboardEngine>(*desktop_, config, history);
    autoSend_ = std::make_unique<AutoSend>(*server_);
    engine_->setAutoSendTarget(autoSend_.get());
    const platform::WindowHandle mainWindow = desktop_->createWindow(
        u"QuilletMainWindow",
        [this](uint32_t message, uintptr_t wParam, intptr_t lParam) { return onMainWindowMessage(message, wParam, lParam); });
    engine_->start(mainWindow);

    netTarget_ = std::make_shared<NetTarget>(mailbox_, *this);
    server_->setNotifyTarget(netTarget_);
    configChanged();
    running_ = true;
    return true;
}

void Daemon::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    running_ = false;
    if (engine_ && connection_ && !connection_->lost()) engine_->stop();
    if (server_) server_->shutdown();
    if (autosave_) autosave_->cancel();
    if (session_) {
        if (!saveHistoryNow()) log_ << "quillet daemon: the history could not be saved.\n";
        if (!session_->saveConfig()) log_ << "quillet daemon: the configuration could not be saved.\n";
    }
    io_.stop();
}

intptr_t Daemon::onMainWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!engine_) return 0;
    const cb::RecordPtr before = engine_->lastRecord();
    intptr_t result = 0;
    const bool handled = engine_->handleMessage(message, wParam, lParam, result);
    if (message == engine::WM_CAPTURE_CLIPBOARD) afterCapture(before);
    return handled ? result : 0;
}

void Daemon::afterCapture(const cb::RecordPtr& before) {
    const cb::RecordPtr& now = engine_->lastRecord();
    if (now && now != before) {
        capturedSerial_ = desktop_->snapshotSerial();
        historyChanged();
        return;
    }
    // Copied again: the record stands already, and it is what the clipboard holds.
    const cb::DataObject* last = engine_->lastCaptured();
    if (!last) return;
    cb::Record scratch;
    cb::DataObject items;
    if (engine_->readClipboard(scratch, items) && engine::sameContent(items, *last))
        capturedSerial_ = desktop_->snapshotSerial();
}

void Daemon::onOwnerGone(uint64_t serial) {
    // The program that held the clipboard is gone and took its content with it. What it held is
    // the record we captured from it: put that back, so the copy outlives the program.
    if (serial == 0 || serial != capturedSerial_ || !engine_->lastRecord()) return;
    if (!session_->config().getBool(kOptRecording, true)) return;
    engine_->writeRecord(engine_->lastRecord(), session_->history().listeningList());
}

void Daemon::onNetNotify(uintptr_t code) {
    if (!server_ || shutDown_) return;
    if (server_->drain(code, session_->history())) historyChanged();
}

AppConfig& Daemon::config() { return session_->config(); }
cb::History& Daemon::history() { return session_->history(); }

bool Daemon::saveConfig() {
    const bool saved = session_->saveConfig();
    configChanged();
    return saved;
}

void Daemon::pause() {
    engine_->pause();
    session_->saveConfig();
}

void Daemon::start() {
    engine_->resume();
    session_->saveConfig();
}

bool Daemon::copy(cb::RecordPtr record, const cb::RecordList* list) { return engine_->writeRecord(record, list); }

bool Daemon::paste(cb::RecordPtr record, const cb::RecordList* list, bool plain) {
    if (plain) {
        // The text alone, as a record of its own that no list holds.
        const std::unique_ptr<cb::DataObject> items = record->rebuildItems(list);
        const cb::TextItem* text = items ? items->findFirst<cb::TextItem>() : nullptr;
        if (!text) return false;
        auto textOnly = boost::make_shared<cb::Record>();
        if (!cb::makeTextOnlyRecord(*textOnly, text->text())) return false;
        return engine_->pasteRecord(textOnly, nullptr);
    }
    return engine_->pasteRecord(record, list);
}

bool Daemon::finishInBackground(BackgroundWork& work) {
    backgroundWork_ = std::move(work);
    return true;
}

void Daemon::answer(const ControlRequest& request, std::function<void(ControlReply)> respond) {
    backgroundWork_.reset();
    ControlReply reply = answerRequest(request, *this, this);
    if (!backgroundWork_) return respond(std::move(reply));
    // The thread has the work, the reply so far and the mailbox, nothing of the daemon's.
    std::thread([work = *std::exchange(backgroundWork_, std::nullopt), reply = std::move(reply),
                 respond = std::move(respond), mailbox = mailbox_]() mutable {
        std::ostringstream out;
        try {
            reply.status = work(out);
        } catch (const std::exception& e) {
            reply.status = 1;
            reply.err += std::string("quillet: ") + e.what() + '\n';
        }
        reply.out += std::move(out).str();
        mailbox->post([respond = std::move(respond), reply = std::move(reply)]() mutable { respond(std::move(reply)); });
    }).detach();
}

void Daemon::configChanged() {
    if (!server_ || shutDown_) return;
    const AppConfig& config = session_->config();
    const bool wanted = config.getBool(kOptReceiveEnabled, false);
    const int port = config.getInt(kOptServerPort, 0);
    if (wanted != server_->running() || (wanted && port != receivePort_)) {
        receivePort_ = port;
        server_->update();
        if (wanted && !server_->running())
            log_ << "quillet daemon: cannot receive records: " << server_->lastError() << '\n';
    }
}

void Daemon::historyChanged() {
    if (shutDown_ || !session_->config().getBool(kOptSaveRecords, true)) return;
    if (!autosave_) autosave_.emplace(io_);
    autosave_->expires_after(settings_.autosaveDelay);  // a later change moves the save on
    autosave_->async_wait([this](const std::error_code& ec) {
        if (ec) return;
        if (!saveHistoryNow()) log_ << "quillet daemon: the history could not be saved.\n";
    });
}

bool Daemon::saveHistoryNow() {
    if (!session_->config().getBool(kOptSaveRecords, true)) return true;
    if (autosave_) autosave_->cancel();
    return session_->saveHistory();
}

}  // namespace app
