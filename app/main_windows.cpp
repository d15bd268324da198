#include "app/main_windows.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <boost/make_shared.hpp>
#include <mutex>

#include "app/resident_program.h"
#include "app/tray_icon.h"
#include "engine/clipboard_engine.h"
#include "engine/clipboard_writer.h"
#include "model/item_type.h"
#include "model/record_list.h"
#include "net/notify.h"
#include "net/version_check.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "ui/common/modal_guard.h"
#include "ui/dialogs/dialog_launcher.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/views/history_window.h"
#include "ui/views/record_viewer.h"

namespace app {

namespace {

class CoreRecording final : public RecordingSwitch {
public:
    explicit CoreRecording(ResidentProgram& core) : core_(core) {}
    bool recording() const override { return core_.config().getBool(kOptRecording, true); }
    void setRecording(bool on) override { on ? core_.start() : core_.pause(); }

private:
    ResidentProgram& core_;
};

// The documentation installed with the program; the source tree's when run from a build.
QUrl helpIndex() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/doc/quillet/README.md"));
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(QDir::cleanPath(installed));
    return QUrl::fromLocalFile(QStringLiteral(QUILLET_SOURCE_README));
}

}  // namespace

// Where the version check's thread posts its result: onto the loop, and from there to the
// windows while they exist. The thread may hold it longer than the windows live.
class MainWindows::VersionTarget final : public net::MessageTarget,
                                         public std::enable_shared_from_this<VersionTarget> {
public:
    VersionTarget(platform::EventLoop& loop, std::function<void(intptr_t)> checked)
        : loop_(&loop), checked_(std::move(checked)) {}

    void post(unsigned message, uintptr_t, intptr_t lParam) override {
        if (message != net::kMsgVersionChecked)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (loop_ == nullptr)
            return;
        loop_->post([weak = weak_from_this(), lParam] {
            if (const std::shared_ptr<VersionTarget> self = weak.lock(); self && self->checked_)
                self->checked_(lParam);
        });
    }

    // On the loop's thread: nothing more reaches the windows.
    void detach() {
        std::lock_guard<std::mutex> lock(mutex_);
        loop_ = nullptr;
        checked_ = nullptr;
    }

private:
    std::mutex mutex_;
    platform::EventLoop* loop_;
    std::function<void(intptr_t)> checked_;  // called on the loop's thread only
};

MainWindows::MainWindows(ResidentProgram& core, platform::EventLoop& loop, ModalGuard& guard, TrayIcon& tray)
    : core_(core),
      guard_(guard),
      tray_(tray),
      recording_(std::make_unique<CoreRecording>(core)),
      actions_(makeActions()),
      context_{core.history(), core.config(), icons_, actions_},
      loop_(loop),
      programs_(loop) {
    dialogs_ = std::make_unique<DialogLauncher>(
        guard_,
        DialogLauncher::Services{
            core_.config(), core_.history(), cb::itemTypes(), programs_,
            [this] { core_.receiverSettingsChanged(); },
            [this](const std::u16string& text) {
                // A record of the text alone, which no list holds.
                auto record = boost::make_shared<cb::Record>();
                if (cb::makeTextOnlyRecord(*record, text))
                    core_.engine().pasteRecord(record, nullptr);
            }});
    // Shortcuts are grabbed again, receiving follows its switch and port.
    connect(dialogs_.get(), &DialogLauncher::optionsApplied, this, [this] { core_.configChanged(); });

    auto* history = new MainHistoryWindow(context_);
    auto* viewer = new RecordViewer;
    history_ = history;
    viewer_ = viewer;
    frame_ = std::make_unique<MainFrame>(*recording_, history, viewer);
    guard_.setMainWindow(frame_.get());
    if (const int position = core_.config().getInt(kOptMainSplitterPosition, -1); position >= 0)
        frame_->setInitialSplitterPosition(position);

    // The commands' enabled states follow the facts they depend on, as they change.
    connect(history_, &HistoryWindow::listFactsChanged, this,
            [this] { frame_->setListFacts(history_->currentListFacts()); });
    connect(history_, &HistoryWindow::selectedRecordChanged, this, &MainWindows::showSelectedRecord);
    connect(frame_.get(), &MainFrame::shown, this, &MainWindows::showSelectedRecord);
    connect(frame_.get(), &MainFrame::listCommand, this,
            [this](CommandId id) { history_->executeCommand(static_cast<int>(id)); });
    // Queued: chosen in the tray menu, they come while the menu still counts as the open modal
    // window, which would refuse them.
    connect(frame_.get(), &MainFrame::optionsRequested, this, [this] { dialogs_->options(); }, Qt::QueuedConnection);
    connect(frame_.get(), &MainFrame::aboutRequested, this, [this] { dialogs_->about(); }, Qt::QueuedConnection);
    connect(frame_.get(), &MainFrame::helpIndexRequested, this, [] { QDesktopServices::openUrl(helpIndex()); });
    connect(frame_.get(), &MainFrame::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(&tray_, &TrayIcon::rightClicked, this, [this] {
        if (!answerTrayPress())
            guard_.popupMenu(frame_->trayMenu(), QCursor::pos());
    });

    const int tab = core_.config().getInt(kOptMainTab, 0);
    if (tab >= 0 && tab < history_->tabCount())
        history_->selectTab(tab);
    frame_->setListFacts(history_->currentListFacts());

    changes_ = std::make_unique<HistoryChangeWatch>(core_.history(), [this] { core_.historyChanged(); });
}

MainWindows::~MainWindows() {
    if (versionTarget_)
        versionTarget_->detach();
    for (const std::shared_ptr<net::VersionChecker>& checker : versionChecks_.pending())
        checker->detachWindow();
    changes_.reset();
    guard_.setMainWindow(nullptr);
    frame_.reset();  // the views with it, before the history they follow
}

ViewActions MainWindows::makeActions() {
    ViewActions actions;
    actions.copyRecord = [this](const cb::RecordPtr& record, const cb::RecordList* list) {
        return core_.copy(record, list);
    };
    // The engine pastes into the window that had the focus before ours.
    actions.pasteRecord = [this](const cb::RecordPtr& record, const cb::RecordList* list) {
        return core_.paste(record, list, false);
    };
    useModalGuard(actions, guard_);
    actions.editListProperties = [this](QWidget*, cb::RecordList& list, bool) {
        return dialogs_->listProperties(list);
    };
    actions.selectRecords = [this](QWidget*, cb::RecordList& list,
                                   const QString& prompt) -> std::optional<std::vector<int>> {
        const std::optional<std::vector<cb::RecordPtr>> chosen = dialogs_->selectRecords(list, prompt);
        if (!chosen)
            return std::nullopt;
        std::vector<int> rows;
        for (const cb::RecordPtr& record : *chosen)
            if (const int row = list.indexOf(record); row >= 0)
                rows.push_back(row);
        return rows;
    };
    actions.multiplePaste = [this](QWidget*, cb::RecordList& list) { dialogs_->multiplePaste(list); };
    actions.pasteAll = [this](QWidget*, cb::RecordList& list) { dialogs_->pasteAll(list); };
    actions.askHost = [this](QWidget*) { return dialogs_->askHost(); };
    actions.shuttingDown = core_.shuttingDownCheck();
    actions.historyChanged = [this] { core_.historyChanged(); };
    return actions;
}

void MainWindows::showSelectedRecord() {
    // Hidden, the viewer waits: the window shows the selection when it comes back.
    if (frame_ && frame_->isVisible())
        viewer_->setRecord(history_->selectedRecord());
}

void MainWindows::startVersionCheck() {
    if (!versionTarget_)
        versionTarget_ = std::make_shared<VersionTarget>(loop_, [this](intptr_t checker) { versionChecked(checker); });
    versionChecks_.start(versionTarget_, core_.config());
}

void MainWindows::versionChecked(intptr_t address) {
    const std::shared_ptr<net::VersionChecker> checker = versionChecks_.take(address);
    if (!checker || !checker->newerVersionAvailable())
        return;
    downloadLink_ = dialogs::fromU16(checker->downloadLink());
    tray_.setNewVersion(true);
}

bool MainWindows::answerTrayPress() {
    if (guard_.bringToFront())
        return true;
    if (!tray_.showsNewVersion())
        return false;
    tray_.setNewVersion(false);
    dialogs_->newVersion(downloadLink_);
    return true;
}

void MainWindows::addStateSaver(std::function<void(AppConfig&)> saver) { stateSavers_.push_back(std::move(saver)); }

void MainWindows::storeState() {
    AppConfig& config = core_.config();
    config.setInt(kOptMainTab, history_->currentTabIndex());
    if (const int position = frame_->splitterPosition(); position >= 0)
        config.setInt(kOptMainSplitterPosition, position);
    for (const auto& saver : stateSavers_)
        saver(config);
}

}  // namespace app
