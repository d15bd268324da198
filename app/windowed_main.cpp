// `quillet` without a command word: the resident program with its windows. It lives in the
// desktop's tray; the main window opens from there. The core (data folder, clipboard engine,
// network, control socket) runs on Qt's event loop in the same thread as the windows.

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include "app/data_folder_lock.h"
#include "app/main_windows.h"
#include "app/picking_windows.h"
#include "app/qt_event_loop.h"
#include "app/resident_program.h"
#include "app/tray_icon.h"
#include "app/windowed_entry.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "persist/files/config_file.h"
#include "persist/files/data_folder.h"
#include "ui/common/modal_guard.h"
#include "ui/dialogs/first_run_dlg.h"

extern char** environ;

namespace app {

namespace {

using namespace std::chrono_literals;

// The logon start waits for the desktop to settle before it takes the clipboard.
constexpr auto kLogonDelay = 30s;

std::filesystem::path absoluteFolder(const WindowedStart& start) {
    const std::filesystem::path folder = start.dataFolder ? *start.dataFolder : persist::dataFolder();
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    return ec ? folder : absolute;
}

// A new copy of this program, detached from this one, which ends at once.
void startNewCopy() {
    char self[] = "/proc/self/exe";
    char* const args[] = {self, nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    // A failure is not reported: the user simply starts the program again.
    posix_spawn(&child, self, nullptr, &attributes, args, environ);
    posix_spawnattr_destroy(&attributes);
}

// Ends the copy that holds the data folder as its Exit command does: it saves and quits.
void endRunningCopy(const std::filesystem::path& folder) {
    if (const std::optional<FolderHolder> holder = folderHolder(folder); holder && holder->pid > 0)
        ::kill(static_cast<pid_t>(holder->pid), SIGTERM);
}

// "Start at logon", read from the configuration file without taking the data folder or
// writing anything; on when there is no readable file.
bool startsAtLogon(const std::filesystem::path& folder) {
    AppConfig config;
    std::ifstream file(folder / persist::kConfigFileName, std::ios::binary);
    if (file)
        persist::loadConfig(config, file);
    return config.getBool(kOptStartWithComputer, true);
}

// Without a display the toolkit would abort the process.
bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
            return true;
    return false;
}

// SIGTERM, SIGINT and SIGHUP end the program as its Exit command does: the handler only wakes
// the event loop, which leaves, and the state is saved on the way out.
class SignalWatch {
public:
    SignalWatch() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0)
            return;
        writeEnd() = fds_[0];
        struct sigaction action = {};
        action.sa_handler = [](int) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t written = ::write(writeEnd(), &byte, 1);
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
        notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, qApp, [this] {
            char byte;
            [[maybe_unused]] const ssize_t read = ::read(fds_[1], &byte, 1);
            QCoreApplication::quit();
        });
    }
    ~SignalWatch() {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
        notifier_.reset();
        writeEnd() = -1;
        if (fds_[0] >= 0) {
            ::close(fds_[0]);
            ::close(fds_[1]);
        }
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    // The handler can reach only what is static.
    static int& writeEnd() {
        static int fd = -1;
        return fd;
    }

    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Writes what the program keeps between runs, in the order of the exit, while the desktop asks
// whether the session may end: the windows' state, the configuration, the history.
void saveState(MainWindows& windows, ResidentProgram& core) {
    windows.storeState();
    core.saveConfig();
    if (core.config().getBool(kOptSaveRecords, true))
        core.saveHistoryNow();  // the session manager waits for it
}

// No configuration file was found: the first start. Asked before anything else shows, so the
// dialog stands alone in the middle of the screen.
void askFirstRunQuestion(ModalGuard& guard, ResidentProgram& core) {
    FirstRunDlg dialog(core.config(), nullptr);
    guard.runModal(dialog);
}

int runResident(QApplication& application, const std::filesystem::path& folder) {
    QtEventLoop loop;
    ResidentSettings settings;
    settings.dataFolder = folder;
    // Which desktop backend runs, and why: a user whose copies are not seen learns it here.
    settings.desktop.report = [](const std::string& line) { std::cerr << "quillet: " << line << '\n'; };
    ResidentProgram core(loop, settings, std::cerr);

    ModalGuard guard;
    TrayIcon* tray = nullptr;
    MainWindows* windows = nullptr;
    PickingWindows* picking = nullptr;
    core.setHooks({.recordCaptured = [&](const cb::RecordPtr&) { if (tray) tray->startAnimation(); },
                   .recordsReceived = [&] { if (tray) tray->startAnimation(); },
                   .historyChanged = {},
                   .activationRequested = [&] { if (windows) windows->mainFrame().showInFront(); },
                   .popupRequested = [&](bool plain) { if (picking) picking->openPopup(plain); },
                   .ended = [] { QCoreApplication::quit(); }});

    switch (core.startUp()) {
    case ResidentProgram::StartOutcome::AlreadyRunning: return 0;  // the running copy shows itself
    case ResidentProgram::StartOutcome::Failed: std::cerr << "quillet: " << core.message() << '\n'; return 1;
    case ResidentProgram::StartOutcome::Started: break;
    }
    SignalWatch signalWatch;

    if (core.config().firstRun())
        askFirstRunQuestion(guard, core);

    // The icon first: it is what the user waits for, and the main window stays hidden anyway.
    // Clicks on it are handled from the event loop, once everything below is in place.
    TrayIcon trayIcon;
    tray = &trayIcon;
    trayIcon.show();

    // The main window, its dialogs and the tray's right click.
    MainWindows mainWindows(core, loop, guard, trayIcon);
    windows = &mainWindows;
    mainWindows.startVersionCheck();
    // The popup, floating and menu windows, and the shortcuts that drive them.
    PickingWindows pickingWindows(core, mainWindows.viewContext(), mainWindows.mainFrame(), trayIcon);
    picking = &pickingWindows;
    mainWindows.addStateSaver([&](AppConfig&) { pickingWindows.save(); });

    // The tray's left click: an open dialog or the new version first, then the menu window at
    // the pointer.
    QObject::connect(&trayIcon, &TrayIcon::leftClicked, [&] {
        if (mainWindows.answerTrayPress())
            return;
        pickingWindows.showMenuAtPointer();
    });
    // View > Floating Window shows or hides the floating window.
    QObject::connect(&mainWindows.mainFrame(), &MainFrame::floatingWindowRequested,
                     [&] { pickingWindows.toggleFloating(); });

    QObject::connect(&application, &QGuiApplication::commitDataRequest,
                     [&](QSessionManager&) { saveState(mainWindows, core); });
    // Without a tray the program would be invisible: its main window shows instead.
    if (!TrayIcon::desktopHasTray())
        mainWindows.mainFrame().showInFront();

    const int status = application.exec();
    picking = nullptr;
    tray = nullptr;
    windows = nullptr;
    trayIcon.hide();
    mainWindows.storeState();
    core.shutdown();  // writes the configuration, and the history when that is on
    return status;
}

}  // namespace

int runWindowed(int& argc, char** argv, const WindowedStart& start) {
    const std::filesystem::path folder = absoluteFolder(start);
    switch (start.startSwitch) {
    case StartSwitch::Commit: startNewCopy(); return 0;
    case StartSwitch::Uninstall: endRunningCopy(folder); return 0;
    case StartSwitch::Startup:
        if (!startsAtLogon(folder))
            return 0;
        std::this_thread::sleep_for(kLogonDelay);  // nothing is shown yet
        break;
    case StartSwitch::None: break;
    }

    if (!hasDisplay()) {
        std::cerr << "quillet: There is no display to show the program on (DISPLAY is not set). "
                     "\"quillet --help\" lists the commands that need none.\n";
        return 1;
    }
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QApplication application(argc, argv);
    // The tray menu and the dialogs close without ending the program: only the main window's
    // close does.
    QApplication::setQuitOnLastWindowClosed(false);
    return runResident(application, folder);
}

}  // namespace app
