#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

#include "ui/common/window_class.h"
#include "ui/icons/icons.h"

namespace {

// The commands the main window runs itself; every other one goes to the history.
bool isListCommand(CommandId id) {
    switch (id) {
    case CommandId::Copy:
    case CommandId::Paste:
    case CommandId::MultiplePaste:
    case CommandId::PasteAll:
    case CommandId::Delete:
    case CommandId::MultipleDelete:
    case CommandId::DeleteAll: return true;
    default: return false;
    }
}

}  // namespace

MainFrame::MainFrame(RecordingSwitch& recording, QWidget* historyPane, QWidget* viewerPane)
    : recording_(recording), trayMenu_(QStringLiteral("TASKBAR")) {
    registerProgramIcons();
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    setObjectName(QStringLiteral("MainFrame"));

    makeAction(CommandId::Start, QStringLiteral("&Start"), "start");
    makeAction(CommandId::Pause, QStringLiteral("&Pause"), "pause");
    makeAction(CommandId::Exit, QStringLiteral("E&xit"));
    makeAction(CommandId::Copy, QStringLiteral("&Copy"), "copy");
    makeAction(CommandId::Paste, QStringLiteral("&Paste"), "paste");
    makeAction(CommandId::MultiplePaste, QStringLiteral("&Multiple Paste"), "multiple_paste");
    makeAction(CommandId::PasteAll, QStringLiteral("Paste &All"), "paste_all");
    makeAction(CommandId::Delete, QStringLiteral("&Delete"), "delete");
    makeAction(CommandId::MultipleDelete, QStringLiteral("M&ultiple Delete"), "multiple_delete");
    makeAction(CommandId::DeleteAll, QStringLiteral("D&elete All"), "delete_all");
    makeAction(CommandId::Toolbar, QStringLiteral("&Toolbar"))->setCheckable(true);
    makeAction(CommandId::StatusBar, QStringLiteral("&Status Bar"))->setCheckable(true);
    makeAction(CommandId::FloatingWindow, QStringLiteral("&Floating Window"))->setCheckable(true);
    makeAction(CommandId::MainWindow, QStringLiteral("&Main Window"))->setCheckable(true);
    makeAction(CommandId::Options, QStringLiteral("&Options"), "options");
    makeAction(CommandId::About, QStringLiteral("&About Quillet..."));
    makeAction(CommandId::HelpIndex, QStringLiteral("&Help Index"), "help_index");

    // The keys work only while this window has the focus; other programs keep theirs.
    action(CommandId::Copy)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    action(CommandId::Paste)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
    for (CommandId id : {CommandId::Copy, CommandId::Paste})
        action(id)->setShortcutContext(Qt::WindowShortcut);

    buildMenus();
    buildToolbar();
    buildTrayMenu();

    ready_ = new QLabel(readyText(), this);
    statusBar()->addWidget(ready_, 1);  // hidden while a command's help shows
    statusBar()->setSizeGripEnabled(true);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    action(CommandId::Toolbar)->setChecked(true);
    action(CommandId::StatusBar)->setChecked(true);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(historyPane);
    splitter_->addWidget(viewerPane);
    setCentralWidget(splitter_);
    resize(800, 500);

    setListFacts({});
    refreshRecordingState();
    setWindowInstanceName(*this, "quillet-main");
}

QAction* MainFrame::makeAction(CommandId id, const QString& text, const char* iconName) {
    auto* act = new QAction(text, this);
    act->setData(static_cast<int>(id));
    const CommandHelp help = commandHelp(id);
    act->setStatusTip(help.statusText);
    if (!help.tooltip.isEmpty())
        act->setToolTip(help.tooltip);
    if (iconName != nullptr)
        act->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(iconName))));
    connect(act, &QAction::triggered, this, [this, id] { run(id); });
    actions_.emplace(id, act);
    return act;
}

QAction* MainFrame::action(CommandId id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainFrame::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(action(CommandId::Pause));
    file->addAction(action(CommandId::Start));
    file->addSeparator();
    file->addAction(action(CommandId::Exit));
    // Whatever changed the recording state meanwhile (the command line, another window), the
    // menu shows the command that applies now.
    connect(file, &QMenu::aboutToShow, this, &MainFrame::refreshRecordingState);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    for (CommandId id : {CommandId::Copy, CommandId::Paste, CommandId::MultiplePaste, CommandId::PasteAll})
        edit->addAction(action(id));
    edit->addSeparator();
    for (CommandId id : {CommandId::Delete, CommandId::MultipleDelete, CommandId::DeleteAll})
        edit->addAction(action(id));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    for (CommandId id : {CommandId::Toolbar, CommandId::StatusBar, CommandId::FloatingWindow, CommandId::MainWindow})
        view->addAction(action(id));
    connect(view, &QMenu::aboutToShow, this, &MainFrame::refreshMainWindowCheck);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->addAction(action(CommandId::Options));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(action(CommandId::About));
    help->addAction(action(CommandId::HelpIndex));
}

void MainFrame::buildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("Toolbar"));
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setMovable(false);
    toolbar_->addAction(action(CommandId::Start));
    toolbar_->addAction(action(CommandId::Pause));
    toolbar_->addSeparator();
    for (CommandId id : {CommandId::Copy, CommandId::Paste, CommandId::MultiplePaste, CommandId::PasteAll})
        toolbar_->addAction(action(id));
    toolbar_->addSeparator();
    for (CommandId id : {CommandId::Delete, CommandId::MultipleDelete, CommandId::DeleteAll})
        toolbar_->addAction(action(id));
    toolbar_->addSeparator();
    toolbar_->addAction(action(CommandId::Options));
    toolbar_->addSeparator();
    toolbar_->addAction(action(CommandId::HelpIndex));
    // The toolbar's own hiding (its context menu) keeps the View menu's check mark true.
    connect(toolbar_, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden())
            action(CommandId::Toolbar)->setChecked(visible);
    });
}

void MainFrame::buildTrayMenu() {
    trayMenu_.addAction(action(CommandId::Exit));
    trayMenu_.addSeparator();
    trayMenu_.addAction(action(CommandId::About));
    trayMenu_.addAction(action(CommandId::HelpIndex));
    trayMenu_.addSeparator();
    trayMenu_.addAction(action(CommandId::Options));
    trayMenu_.addSeparator();
    trayMenu_.addAction(action(CommandId::FloatingWindow));
    trayMenu_.addAction(action(CommandId::MainWindow));
    trayMenu_.addSeparator();
    trayMenu_.addAction(action(CommandId::Pause));
    trayMenu_.addAction(action(CommandId::Start));
    connect(&trayMenu_, &QMenu::aboutToShow, this, [this] {
        refreshRecordingState();
        refreshMainWindowCheck();
    });
    setWindowInstanceName(trayMenu_, "quillet-menu");
}

void MainFrame::run(CommandId id) {
    switch (id) {
    case CommandId::Start:
    case CommandId::Pause:
        recording_.setRecording(id == CommandId::Start);
        refreshRecordingState();
        return;
    case CommandId::FloatingWindow: emit floatingWindowRequested(); return;
    case CommandId::Options: emit optionsRequested(); return;
    case CommandId::MainWindow: toggleVisible(); return;
    case CommandId::About: emit aboutRequested(); return;
    case CommandId::Exit: close(); return;
    case CommandId::HelpIndex: emit helpIndexRequested(); return;
    case CommandId::Toolbar:
        toolbar_->setVisible(action(CommandId::Toolbar)->isChecked());
        return;
    case CommandId::StatusBar:
        statusBar()->setVisible(action(CommandId::StatusBar)->isChecked());
        return;
    default:
        if (isListCommand(id))
            emit listCommand(id);
        return;
    }
}

void MainFrame::setListFacts(const ListFacts& facts) {
    for (auto& [id, act] : actions_)
        if (isListCommand(id))
            act->setEnabled(commandEnabled(id, facts));
}

void MainFrame::refreshRecordingState() {
    const bool on = recording_.recording();
    action(CommandId::Pause)->setVisible(on);
    action(CommandId::Start)->setVisible(!on);
}

void MainFrame::setFloatingWindowVisible(bool visible) { action(CommandId::FloatingWindow)->setChecked(visible); }

int MainFrame::splitterPosition() const {
    if (!splitterPlaced_)
        return -1;
    const QList<int> sizes = splitter_->sizes();
    return sizes.isEmpty() ? -1 : sizes.front();
}

void MainFrame::refreshMainWindowCheck() { action(CommandId::MainWindow)->setChecked(shownOnScreen()); }

bool MainFrame::shownOnScreen() const { return isVisible() && !isMinimized(); }

void MainFrame::toggleVisible() {
    if (shownOnScreen())
        showMinimized();  // which hides it
    else
        showInFront();
}

void MainFrame::showInFront() {
    showNormal();
    raise();
    activateWindow();
}

void MainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!splitterPlaced_) {
        // Where the user left the bar, else at a quarter of the width, once the window has its
        // size; both panes keep some room.
        const int width = splitter_->width();
        int position = initialSplitterPosition_ >= 0 ? initialSplitterPosition_ : width / 4;
        const int room = std::min(40, width / 2);
        position = std::clamp(position, room, width - room);
        splitter_->setSizes({position, width - position});
        splitterPlaced_ = true;
    }
    refreshRecordingState();
    refreshMainWindowCheck();
    emit shown();
}

void MainFrame::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    refreshMainWindowCheck();
}

void MainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The command line can switch recording while the window is away: it shows the state
    // again when the user comes back to it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refreshRecordingState();
    // Minimized, the window leaves the screen and the taskbar: the tray icon brings it back.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void MainFrame::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}
