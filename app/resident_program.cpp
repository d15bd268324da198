#include "app/resident_program.h"

#include <boost/make_shared.hpp>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

#include "app/answer_request.h"
#include "app/control_channel.h"
#include "app/control_client.h"
#include "app/data_folder_lock.h"
#include "app/history_saver.h"
#include "app/instance_lock.h"
#include "app/runtime_paths.h"
#include "app/serial_worker.h"
#include "cli/session.h"
#include "engine/capture_rules.h"
#include "engine/clipboard_engine.h"
#include "engine/clipboard_writer.h"
#include "engine/engine_messages.h"
#include "engine/engine_services.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "net/network_log.h"
#include "net/notify.h"
#include "net/sender.h"
#include "net/server.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "persist/files/data_folder.h"
#include "persist/files/history_file.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

// How long a start waits for a command that holds the data folder for its load-change-save.
constexpr std::chrono::seconds kWaitForCommand{10};

std::string quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

}  // namespace

// Hands functions from other threads to the loop for as long as the program exists; after
// that they are dropped where they were given.
class Mailbox {
public:
    explicit Mailbox(platform::EventLoop& loop) : loop_(&loop) {}
    void post(std::function<void()> call) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!loop_) return;
        loop_->post([alive = std::weak_ptr<bool>(alive_), call = std::move(call)] {
            if (alive.lock()) call();
        });
    }
    void close() {
        const std::lock_guard<std::mutex> lock(mutex_);
        loop_ = nullptr;
        alive_.reset();
    }

private:
    std::mutex mutex_;
    platform::EventLoop* loop_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

namespace {

// The network threads' posts, brought to the loop.
class NetTarget final : public net::MessageTarget {
public:
    NetTarget(std::shared_ptr<Mailbox> mailbox, std::function<void(uintptr_t)> onNotify)
        : mailbox_(std::move(mailbox)), onNotify_(std::move(onNotify)) {}
    void post(unsigned message, uintptr_t wParam, intptr_t) override {
        if (message != net::kMsgNetNotify) return;
        mailbox_->post([onNotify = onNotify_, wParam] { onNotify(wParam); });
    }

private:
    std::shared_ptr<Mailbox> mailbox_;
    std::function<void(uintptr_t)> onNotify_;
};

// Each captured record goes to the automatic-send hosts on transfers of their own, which end
// when the program's server shuts down.
class AutoSend final : public engine::AutoSendTarget {
public:
    AutoSend(const net::Server& server, std::shared_ptr<net::NetworkLog> log) {
        settings_.shuttingDown = server.shuttingDownCheck();
        settings_.log = std::move(log);
    }
    bool sendRecord(const NetworkAddress& host, const cb::RecordPtr& record) override {
        return record && net::sendToHosts(*record, {host}, settings_) == 1;
    }

private:
    net::SenderSettings settings_;
};

}  // namespace

// Declared in the order they are made; torn down in reverse.
struct ResidentProgram::Parts {
    std::shared_ptr<Mailbox> mailbox;
    std::unique_ptr<InstanceLock> folderLock;
    std::unique_ptr<InstanceLock> displayLock;
    std::unique_ptr<ControlChannel> control;
    std::unique_ptr<cli::Session> session;
    std::unique_ptr<HistorySaver> saver;
    std::unique_ptr<DesktopBackend> backend;
    std::unique_ptr<net::Server> server;
    std::shared_ptr<net::NetworkLog> networkLog = std::make_shared<net::NetworkLog>();
    std::unique_ptr<AutoSend> autoSend;
    std::unique_ptr<ClipboardEngine> engine;
    std::shared_ptr<NetTarget> netTarget;
    // Starts and stops the receiver, which waits for its thread.
    std::unique_ptr<SerialWorker> netWorker;
    platform::EventLoop::TimerId autosaveTimer = 0;
    bool receiveWanted = false;
    int receivePort = -1;
};

ResidentProgram::ResidentProgram(platform::EventLoop& loop, ResidentSettings settings, std::ostream& log)
    : loop_(loop), settings_(std::move(settings)), log_(log) {
    if (!settings_.makeDesktop) settings_.makeDesktop = makeDesktopBackend;
}

ResidentProgram::~ResidentProgram() {
    shutdown();
    if (parts_) {
        parts_->mailbox->close();
        if (parts_->engine) parts_->engine->stop();
        if (parts_->server) parts_->server->setNotifyTarget(nullptr);
        // The worker first: it may still stop the receiver.
        parts_->netWorker.reset();
        parts_->engine.reset();
        parts_->server.reset();
        parts_->backend.reset();
        parts_->saver.reset();
        parts_->control.reset();
    }
}

void ResidentProgram::setHooks(ResidentHooks hooks) { hooks_ = std::move(hooks); }

void ResidentProgram::fail(std::string message) { message_ = std::move(message); }

ResidentProgram::StartOutcome ResidentProgram::startUp() {
    if (parts_) {
        fail("The program has been started already.");
        return StartOutcome::Failed;
    }
    parts_ = std::make_unique<Parts>();
    Parts& p = *parts_;
    p.mailbox = std::make_shared<Mailbox>(loop_);
    const std::filesystem::path& folder = settings_.dataFolder;

    // The data folder: ours alone, or another program's to hand the start to.
    try {
        const Clock::time_point started = Clock::now();
        while (!(p.folderLock = lockDataFolder(folder))) {
            const std::optional<FolderHolder> holder = folderHolder(folder);
            if (holder && !holder->socket.empty()) {
                ControlRequest activate;
                activate.kind = ControlRequest::Kind::Activate;
                if (sendRequest(holder->socket, activate)) {
                    fail("quillet is already running for the data folder " + quoted(folder) + " (process " +
                         std::to_string(holder->pid) + ").");
                    parts_.reset();
                    return StartOutcome::AlreadyRunning;
                }
            }
            if (Clock::now() - started >= kWaitForCommand) {
                fail("The data folder " + quoted(folder) + " is in use by another quillet" +
                     (holder ? " (process " + std::to_string(holder->pid) + ")" : std::string()) +
                     ", which does not answer.");
                parts_.reset();
                return StartOutcome::Failed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }

        // One resident program per display as well: two would fight over the clipboard.
        RuntimeInputs inputs;
        if (const char* xdg = std::getenv("XDG_RUNTIME_DIR")) inputs.xdgRuntimeDir = xdg;
        inputs.display = settings_.desktop.display;
        if (inputs.display->empty())
            if (const char* display = std::getenv("DISPLAY")) inputs.display = display;
        // A Wayland session without XWayland: its compositor is the display.
        if (inputs.display->empty())
            if (const char* wayland = std::getenv("WAYLAND_DISPLAY"))
                if (*wayland != '\0') inputs.display = std::string("wayland-") + std::filesystem::path(wayland).filename().string();
        inputs.uid = ::getuid();
        const RuntimePaths paths = runtimePaths(inputs);
        p.displayLock = InstanceLock::acquire(paths.lock);
        if (!p.displayLock) {
            fail("Another quillet is already running on display " + *inputs.display + ", for another data folder.");
            parts_.reset();
            return StartOutcome::Failed;
        }
        p.displayLock->describe(std::to_string(::getpid()) + "\n" + folder.string() + "\n");

        // Requests wait in the loop until the start is complete.
        const std::filesystem::path socket = controlSocketPath(runtimeFolder(inputs), folder);
        p.control = std::make_unique<ControlChannel>(
            *p.folderLock, socket, [mailbox = p.mailbox](std::function<void()> fn) { mailbox->post(std::move(fn)); },
            [this](const ControlRequest& request, ControlChannel::Respond respond) {
                answer(request, std::move(respond));
            });
        announceResident(*p.folderLock, socket);
    } catch (const std::exception& e) {
        fail(e.what());
        parts_.reset();
        return StartOutcome::Failed;
    }

    p.session = std::make_unique<cli::Session>(folder);
    AppConfig& config = p.session->config();
    cb::History& history = p.session->history();
    auto keepBad = std::make_shared<bool>(p.session->historyState() == persist::StartFile::Unreadable);
    p.saver = std::make_unique<HistorySaver>(
        loop_, history,
        [file = folder / persist::kHistoryFileName, keepBad](const cb::History& snapshot) {
            persist::SaveOptions options;
            options.keepExistingAsBad = *keepBad;
            if (!persist::saveHistory(snapshot, file, options)) return false;
            *keepBad = false;  // only the saver's thread touches it, one save at a time
            return true;
        },
        [this](bool written) {
            if (!written) log_ << settings_.name << ": the history could not be saved.\n";
        });

    std::string error;
    p.backend = settings_.makeDesktop(loop_, settings_.desktop, error);
    if (!p.backend) {
        fail("The desktop cannot be used: " + error + ".");
        parts_->mailbox->close();
        parts_.reset();
        return StartOutcome::Failed;
    }
    p.backend->setOnOwnerGone([this](uint64_t serial) { onOwnerGone(serial); });
    p.backend->setOnLost([this] {
        log_ << settings_.name << ": the connection to the desktop was lost; saving and ending.\n";
        shutdown();
        if (hooks_.ended) hooks_.ended();
    });

    platform::Desktop& desktop = p.backend->desktop();
    p.server = std::make_unique<net::Server>(config);
    p.engine = std::make_unique<ClipboardEngine>(desktop, config, history);
    p.autoSend = std::make_unique<AutoSend>(*p.server, p.networkLog);
    p.engine->setAutoSendTarget(p.autoSend.get());
    const platform::WindowHandle mainWindow = desktop.createWindow(
        u"QuilletMainWindow", [this](uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
            if (!parts_ || !parts_->engine) return 0;
            const cb::RecordPtr before = parts_->engine->lastRecord();
            intptr_t result = 0;
            const bool handled = parts_->engine->handleMessage(message, wParam, lParam, result);
            if (message == engine::WM_CAPTURE_CLIPBOARD) onCaptureMessage(before);
            return handled ? result : 0;
        });
    p.engine->start(mainWindow);

    p.netTarget = std::make_shared<NetTarget>(p.mailbox, [this](uintptr_t code) { onNetNotify(code); });
    p.server->setNotifyTarget(p.netTarget);
    p.netWorker = std::make_unique<SerialWorker>();
    running_ = true;
    configChanged();
    return StartOutcome::Started;
}

void ResidentProgram::shutdown() {
    if (shutDown_ || !parts_) return;
    shutDown_ = true;
    running_ = false;
    Parts& p = *parts_;
    // No new requests; the ones being answered finish on the loop, their replies dropped.
    p.control.reset();
    if (p.engine && p.backend && !p.backend->lost() && !p.engine->stop())
        log_ << settings_.name << ": nobody took over our clipboard content; it ends with the program.\n";
    if (p.autosaveTimer) loop_.cancelTimer(std::exchange(p.autosaveTimer, 0));
    if (p.server) {
        net::Server* server = p.server.get();
        p.netWorker->run([server] { server->shutdown(); });
        p.netWorker->waitIdle();
    }
    if (p.session) {
        if (!p.session->saveConfig()) log_ << settings_.name << ": the configuration could not be saved.\n";
        if (p.session->config().getBool(kOptSaveRecords, true) && !p.saver->saveAndWait())
            log_ << settings_.name << ": the history could not be saved.\n";
    }
    // The data folder is free once its files are written.
    p.displayLock.reset();
    p.folderLock.reset();
}

void ResidentProgram::onCaptureMessage(const cb::RecordPtr& before) {
    ClipboardEngine& engine = *parts_->engine;
    const cb::RecordPtr& now = engine.lastRecord();
    if (now && now != before) {
        capturedSerial_ = parts_->backend->snapshotSerial();
        historyChanged();
        if (hooks_.recordCaptured) hooks_.recordCaptured(now);
        return;
    }
    // Copied again: the record stands already, and it is what the clipboard holds.
    const cb::DataObject* last = engine.lastCaptured();
    if (!last) return;
    cb::Record scratch;
    cb::DataObject items;
    if (engine.readClipboard(scratch, items) && engine::sameContent(items, *last))
        capturedSerial_ = parts_->backend->snapshotSerial();
}

void ResidentProgram::onOwnerGone(uint64_t serial) {
    // The program that held the clipboard is gone and took its content with it. What it held is
    // the record we captured from it: put that back, so the copy outlives the program.
    if (!running_ || serial == 0 || serial != capturedSerial_ || !parts_->engine->lastRecord()) return;
    if (!parts_->session->config().getBool(kOptRecording, true)) return;
    parts_->engine->writeRecord(parts_->engine->lastRecord(), parts_->session->history().listeningList());
}

void ResidentProgram::onNetNotify(uintptr_t code) {
    if (!running_) return;
    if (parts_->server->drain(code, parts_->session->history())) {
        historyChanged();
        if (hooks_.recordsReceived) hooks_.recordsReceived();
    }
}

ClipboardEngine& ResidentProgram::engine() { return *parts_->engine; }
DesktopBackend& ResidentProgram::desktop() { return *parts_->backend; }
const std::shared_ptr<net::NetworkLog>& ResidentProgram::networkLog() { return parts_->networkLog; }
AppConfig& ResidentProgram::config() { return parts_->session->config(); }
cb::History& ResidentProgram::history() { return parts_->session->history(); }

bool ResidentProgram::saveConfig() {
    const bool saved = parts_->session->saveConfig();
    configChanged();
    return saved;
}

void ResidentProgram::pause() {
    parts_->engine->pause();
    parts_->session->saveConfig();
}

void ResidentProgram::start() {
    parts_->engine->resume();
    parts_->session->saveConfig();
}

bool ResidentProgram::copy(cb::RecordPtr record, const cb::RecordList* list) {
    return parts_->engine->writeRecord(record, list);
}

bool ResidentProgram::paste(cb::RecordPtr record, const cb::RecordList* list, bool plain) {
    if (plain) {
        // The text alone, as a record of its own that no list holds.
        const std::unique_ptr<cb::DataObject> items = record->rebuildItems(list);
        const cb::TextItem* text = items ? items->findFirst<cb::TextItem>() : nullptr;
        if (!text) return false;
        auto textOnly = boost::make_shared<cb::Record>();
        if (!cb::makeTextOnlyRecord(*textOnly, text->text())) return false;
        return parts_->engine->pasteRecord(textOnly, nullptr);
    }
    return parts_->engine->pasteRecord(record, list);
}

bool ResidentProgram::showPopup(bool plainText) {
    if (!hooks_.popupRequested) return false;
    hooks_.popupRequested(plainText);
    return true;
}

bool ResidentProgram::finishInBackground(BackgroundWork& work) {
    backgroundWork_ = std::move(work);
    return true;
}

void ResidentProgram::answer(const ControlRequest& request, std::function<void(ControlReply)> respond) {
    if (!running_)
        return respond(ControlReply{ControlReply::Kind::Done, 1, "", "quillet: quillet is ending; try again.\n"});
    if (request.kind == ControlRequest::Kind::Activate) {
        log_ << settings_.name << ": started again; this one keeps running.\n";
        if (hooks_.activationRequested) hooks_.activationRequested();
        return respond(ControlReply{});
    }
    backgroundWork_.reset();
    ControlReply reply = answerRequest(request, *this, this);
    if (!backgroundWork_) return respond(std::move(reply));
    // The thread has the work, the reply so far and the mailbox, nothing of the program's.
    std::thread([work = *std::exchange(backgroundWork_, std::nullopt), reply = std::move(reply),
                 respond = std::move(respond), mailbox = parts_->mailbox]() mutable {
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

void ResidentProgram::receiverSettingsChanged() {
    if (!running_) return;
    parts_->receivePort = -1;  // a running receiver is started again
    configChanged();
}

std::function<bool()> ResidentProgram::shuttingDownCheck() const {
    if (!parts_ || !parts_->server) return [] { return false; };
    return parts_->server->shuttingDownCheck();
}

void ResidentProgram::configChanged() {
    if (!running_) return;
    Parts& p = *parts_;
    p.engine->updateHookKeys();
    p.server->readOptions();
    const bool wanted = p.session->config().getBool(kOptReceiveEnabled, false);
    const int port = p.server->configuredPort();
    if (wanted == p.receiveWanted && (!wanted || port == p.receivePort)) return;
    p.receiveWanted = wanted;
    p.receivePort = port;
    // Starting waits for the listener and stopping for the thread: neither on the loop.
    p.netWorker->run([server = p.server.get(), wanted, port, mailbox = p.mailbox, this] {
        if (!wanted) {
            server->stop();
            return;
        }
        if (server->start(static_cast<uint16_t>(port))) return;
        mailbox->post([this, problem = server->lastError()] {
            log_ << settings_.name << ": cannot receive records: " << problem << '\n';
        });
    });
}

void ResidentProgram::historyChanged() {
    if (!running_) return;
    Parts& p = *parts_;
    if (hooks_.historyChanged) hooks_.historyChanged();
    if (!p.session->config().getBool(kOptSaveRecords, true)) return;
    // A later change moves the save on.
    if (p.autosaveTimer) loop_.cancelTimer(p.autosaveTimer);
    p.autosaveTimer = loop_.startTimer(settings_.autosaveDelay, [this] {
        parts_->autosaveTimer = 0;
        parts_->saver->save();
    });
}

bool ResidentProgram::saveHistory() {
    if (!parts_ || !parts_->session->config().getBool(kOptSaveRecords, true)) return true;
    if (parts_->autosaveTimer) loop_.cancelTimer(std::exchange(parts_->autosaveTimer, 0));
    parts_->saver->save();
    return true;
}

bool ResidentProgram::saveHistoryNow() {
    if (!parts_ || !parts_->session->config().getBool(kOptSaveRecords, true)) return true;
    if (parts_->autosaveTimer) loop_.cancelTimer(std::exchange(parts_->autosaveTimer, 0));
    return parts_->saver->saveAndWait();
}

}  // namespace app
