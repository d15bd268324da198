// The main window as a user meets it, without a display: the menus' and the tray menu's texts
// and order, Start and Pause exchanging places, the enabled states following the list, the help
// in the status bar, the commands' routes, minimizing that hides, and the tray's animation.

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include "app/main_frame.h"
#include "app/tray_icon.h"

namespace {

class FakeRecording : public RecordingSwitch {
public:
    bool recording() const override { return on; }
    void setRecording(bool value) override { on = value; }
    bool on = true;
};

// The visible entries of a menu; separators as "-".
QStringList entries(const QMenu& menu) {
    QStringList out;
    for (const QAction* act : menu.actions()) {
        if (!act->isVisible())
            continue;
        out << (act->isSeparator() ? QStringLiteral("-") : act->text());
    }
    return out;
}

QMenu* topMenu(const MainFrame& frame, const QString& title) {
    for (QAction* act : frame.menuBar()->actions())
        if (act->text() == title)
            return act->menu();
    return nullptr;
}

QList<int> visibleToolbarIds(const MainFrame& frame) {
    QList<int> ids;
    const auto* toolbar = frame.findChild<QToolBar*>(QStringLiteral("Toolbar"));
    for (const QAction* act : toolbar->actions())
        if (act->isVisible())
            ids << (act->isSeparator() ? 0 : act->data().toInt());
    return ids;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        recording_ = FakeRecording{};
        frame_ = std::make_unique<MainFrame>(recording_, new QLabel(QStringLiteral("history")),
                                             new QLabel(QStringLiteral("viewer")));
    }
    void cleanup() { frame_.reset(); }

    void menusReadAsDesigned() {
        QCOMPARE(frame_->windowTitle(), QStringLiteral("Quillet"));
        QVERIFY(!frame_->windowIcon().isNull());
        QVERIFY(!frame_->action(CommandId::Pause)->icon().isNull());
        QStringList titles;
        for (QAction* act : frame_->menuBar()->actions())
            titles << act->text();
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Tools", "&Help"}));
        QCOMPARE(entries(*topMenu(*frame_, "&File")), (QStringList{"&Pause", "-", "E&xit"}));
        QCOMPARE(entries(*topMenu(*frame_, "&Edit")),
                 (QStringList{"&Copy", "&Paste", "&Multiple Paste", "Paste &All", "-", "&Delete",
                              "M&ultiple Delete", "D&elete All"}));
        QCOMPARE(entries(*topMenu(*frame_, "&View")),
                 (QStringList{"&Toolbar", "&Status Bar", "&Floating Window", "&Main Window"}));
        QCOMPARE(entries(*topMenu(*frame_, "&Tools")), (QStringList{"&Options"}));
        QCOMPARE(entries(*topMenu(*frame_, "&Help")), (QStringList{"&About Quillet...", "&Help Index"}));
        QCOMPARE(entries(frame_->trayMenu()),
                 (QStringList{"E&xit", "-", "&About Quillet...", "&Help Index", "-", "&Options", "-",
                              "&Floating Window", "&Main Window", "-", "&Pause"}));
        QCOMPARE(visibleToolbarIds(*frame_),
                 (QList<int>{32773, 0, 57634, 57637, 32776, 32778, 0, 57632, 32781, 57633, 0, 32785, 0, 57666}));
    }

    void pauseAndStartExchangePlaces() {
        frame_->action(CommandId::Pause)->trigger();
        QVERIFY(!recording_.on);
        QCOMPARE(entries(*topMenu(*frame_, "&File")), (QStringList{"&Start", "-", "E&xit"}));
        QCOMPARE(entries(frame_->trayMenu()).last(), QStringLiteral("&Start"));
        QCOMPARE(visibleToolbarIds(*frame_).first(), 32772);
        QVERIFY(!visibleToolbarIds(*frame_).contains(32773));

        // Switched elsewhere (the command line): the tray menu shows the state when it opens.
        recording_.on = true;
        emit frame_->trayMenu().aboutToShow();
        QCOMPARE(entries(frame_->trayMenu()).last(), QStringLiteral("&Pause"));
        frame_->action(CommandId::Start)->trigger();  // hidden, yet a shortcut could reach it
        QVERIFY(recording_.on);
    }

    void enabledStatesFollowTheList() {
        frame_->setListFacts({.count = 1, .selected = false, .search = false, .listening = true});
        QVERIFY(!frame_->action(CommandId::Copy)->isEnabled());
        QVERIFY(!frame_->action(CommandId::Delete)->isEnabled());
        QVERIFY(frame_->action(CommandId::PasteAll)->isEnabled());
        frame_->setListFacts({.count = 1, .selected = true, .search = false, .listening = true});
        QVERIFY(frame_->action(CommandId::Paste)->isEnabled());
        QVERIFY(!frame_->action(CommandId::MultiplePaste)->isEnabled());
        QVERIFY(!frame_->action(CommandId::MultipleDelete)->isEnabled());
        QVERIFY(frame_->action(CommandId::Options)->isEnabled());
    }

    void commandHelpShowsInTheStatusBarAndTooltip() {
        frame_->show();
        QAction* pause = frame_->action(CommandId::Pause);
        QCOMPARE(pause->toolTip(), QStringLiteral("Pause recording"));
        auto* ready = frame_->statusBar()->findChild<QLabel*>();
        QCOMPARE(ready->text(), QStringLiteral("Ready"));
        // The pointer over the toolbar's Pause button.
        QWidget* button = frame_->findChild<QToolBar*>(QStringLiteral("Toolbar"))->widgetForAction(pause);
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), button->mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(button, &enter);
        QVERIFY(!ready->isVisible());
        QCOMPARE(frame_->statusBar()->currentMessage(), QStringLiteral("Pause recording clipboard."));
        frame_->statusBar()->clearMessage();
        QVERIFY(ready->isVisible());
    }

    void commandsTakeTheirRoutes() {
        QSignalSpy list(frame_.get(), &MainFrame::listCommand);
        QSignalSpy closed(frame_.get(), &MainFrame::closed);
        QSignalSpy options(frame_.get(), &MainFrame::optionsRequested);
        frame_->setListFacts({.count = 3, .selected = true, .search = false, .listening = false});
        frame_->action(CommandId::MultipleDelete)->trigger();
        frame_->action(CommandId::Options)->trigger();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).at(0).value<CommandId>(), CommandId::MultipleDelete);
        QCOMPARE(options.size(), 1);
        frame_->show();
        frame_->action(CommandId::Exit)->trigger();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!frame_->isVisible());
    }

    void mainWindowCommandShowsAndMinimizingHides() {
        QVERIFY(!frame_->isVisible());
        frame_->action(CommandId::MainWindow)->trigger();
        QVERIFY(frame_->shownOnScreen());
        QVERIFY(frame_->action(CommandId::MainWindow)->isChecked());
        frame_->action(CommandId::MainWindow)->trigger();
        QTRY_VERIFY(!frame_->isVisible());
        QVERIFY(!frame_->action(CommandId::MainWindow)->isChecked());
        frame_->toggleVisible();
        QVERIFY(frame_->shownOnScreen());
    }

    void viewCommandsHideBars() {
        frame_->show();
        frame_->action(CommandId::StatusBar)->trigger();
        QVERIFY(!frame_->statusBar()->isVisible());
        frame_->action(CommandId::Toolbar)->trigger();
        QVERIFY(!frame_->findChild<QToolBar*>(QStringLiteral("Toolbar"))->isVisible());
        QVERIFY(!frame_->action(CommandId::Toolbar)->isChecked());
    }

    void splitterGivesTheHistoryAQuarter() {
        frame_->show();
        const QList<int> sizes = frame_->splitter().sizes();
        const int total = sizes[0] + sizes[1];
        QVERIFY(qAbs(sizes[0] - total / 4) <= 2);
    }

    void trayAnimationRunsSevenFramesAndRestarts() {
        TrayIcon tray(std::chrono::milliseconds(5));
        QSignalSpy shown(&tray, &TrayIcon::imageShown);
        const QImage normal = tray.systemTrayIcon().icon().pixmap(16, 16).toImage();
        QVERIFY(!normal.isNull());
        tray.setNewVersion(true);
        const QImage newVersion = tray.systemTrayIcon().icon().pixmap(16, 16).toImage();
        QVERIFY(newVersion != normal);  // the badge is drawn over the normal icon
        bool restarted = false;
        connect(&tray, &TrayIcon::imageShown, this, [&](int frame) {
            if (frame == 3 && !restarted) {
                restarted = true;
                tray.startAnimation();  // a new capture meanwhile
            }
        });
        tray.startAnimation();
        QTRY_VERIFY(restarted && tray.animationPosition() == -1);
        QList<int> frames;
        for (const QList<QVariant>& args : shown)
            frames << args.at(0).toInt();
        QCOMPARE(frames, (QList<int>{0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, -1}));
        QVERIFY(tray.showsNewVersion());
    }

private:
    FakeRecording recording_;
    std::unique_ptr<MainFrame> frame_;
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
