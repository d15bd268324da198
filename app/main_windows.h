#pragma once

// The main window with its panes (the history on the left, the record viewer on the right), the
// dialogs its commands open, the tray icon's answers and the version check: everything the
// windowed program shows besides the popup, floating and menu windows. Those plug in beside it
// and share its view context (one icon provider, one set of view actions).

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "app/desktop_programs.h"
#include "app/history_change_watch.h"
#include "app/main_frame.h"
#include "net/version_check.h"
#include "ui/views/app_icon_provider.h"
#include "ui/views/view_context.h"

class AppConfig;
class DialogLauncher;
class MainHistoryWindow;
class ModalGuard;
class RecordViewer;
class TrayIcon;

namespace platform {
class EventLoop;
}

namespace app {

class ResidentProgram;

class MainWindows final : public QObject {
    Q_OBJECT

public:
    // `core` has started; the guard, the tray icon and the loop outlive this.
    MainWindows(ResidentProgram& core, platform::EventLoop& loop, ModalGuard& guard, TrayIcon& tray);
    ~MainWindows() override;
    MainWindows(const MainWindows&) = delete;
    MainWindows& operator=(const MainWindows&) = delete;

    MainFrame& mainFrame() const { return *frame_; }
    MainHistoryWindow& historyWindow() const { return *history_; }
    RecordViewer& recordViewer() const { return *viewer_; }
    ViewContext& viewContext() { return context_; }
    DialogLauncher& dialogs() const { return *dialogs_; }

    // When option 20 is on, asks the version-check server on a thread of its own; a newer
    // version turns the tray icon into the new-version icon.
    void startVersionCheck();

    // A press on the tray icon (left or right): answered here when an open modal window came to
    // the front, or when the new-version icon showed (the icon turns back, the new version's
    // dialog opens). False: the press is the caller's to answer.
    bool answerTrayPress();

    // Called when the program state is saved, after the main window stored its own: the
    // other windows store their placement and state in the configuration.
    void addStateSaver(std::function<void(AppConfig&)> saver);
    // The windows' part of the program state, into the configuration (not yet written): the
    // main window's tab (option 14), the bar between its panes, then every state saver in the
    // order they were added.
    void storeState();

private:
    class VersionTarget;

    void showSelectedRecord();
    void versionChecked(intptr_t checker);
    ViewActions makeActions();

    ResidentProgram& core_;
    ModalGuard& guard_;
    TrayIcon& tray_;
    std::unique_ptr<RecordingSwitch> recording_;
    AppIconProvider icons_;
    ViewActions actions_;
    ViewContext context_;
    platform::EventLoop& loop_;
    DesktopPrograms programs_;
    std::unique_ptr<DialogLauncher> dialogs_;
    std::unique_ptr<MainFrame> frame_;
    MainHistoryWindow* history_ = nullptr;  // owned by the frame
    RecordViewer* viewer_ = nullptr;        // owned by the frame
    std::unique_ptr<HistoryChangeWatch> changes_;
    std::shared_ptr<VersionTarget> versionTarget_;
    net::VersionChecks versionChecks_;  // started by this window, their results not handled yet
    QString downloadLink_;
    std::vector<std::function<void(AppConfig&)>> stateSavers_;
};

}  // namespace app
