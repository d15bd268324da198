// The pieces every window shares: which commands a list allows, the commands' help texts, and
// the guard that keeps one modal window open at a time.

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <optional>

#include "ui/common/command_ids.h"
#include "ui/common/command_states.h"
#include "ui/common/modal_guard.h"

namespace {

// Runs `action` once the event loop of whatever runs next (a modal dialog, a menu) is up.
void whileOpen(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

}  // namespace

class UiCommonTest : public QObject {
    Q_OBJECT

private slots:
    void listCommandStates_data();
    void listCommandStates();
    void helpTextSplitsStatusAndTooltip();
    void secondDialogIsRefusedAndFirstComesToFront();
    void guardIsFreeAgainAfterTheDialogCloses();
    void openContextMenuRefusesMessageBox();
};

// Each row: the list's facts and the commands that must be disabled; every other list
// command must be enabled.
void UiCommonTest::listCommandStates_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("search");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QList<int>>("disabled");
    using C = CommandId;
    auto ids = [](std::initializer_list<C> list) {
        QList<int> out;
        for (C id : list)
            out.append(static_cast<int>(id));
        return out;
    };
    QTest::newRow("empty list") << 0 << false << false << false
        << ids({C::Copy, C::Paste, C::Delete, C::MultipleDelete, C::DeleteAll, C::MultiplePaste,
                C::PasteAll, C::SaveList, C::ExportList});
    QTest::newRow("records, none selected") << 5 << false << false << false
        << ids({C::Copy, C::Paste, C::Delete});
    QTest::newRow("one record selected") << 1 << true << false << false
        << ids({C::MultipleDelete, C::MultiplePaste});
    QTest::newRow("two records selected") << 2 << true << false << false << ids({});
    QTest::newRow("listening list") << 3 << true << false << true
        << ids({C::RemoveList, C::ListenToClipboard});
    QTest::newRow("search result") << 3 << true << true << false
        << ids({C::Delete, C::MultipleDelete, C::DeleteAll, C::LoadList, C::RemoveList,
                C::ListenToClipboard});
}

void UiCommonTest::listCommandStates() {
    QFETCH(int, count);
    QFETCH(bool, selected);
    QFETCH(bool, search);
    QFETCH(bool, listening);
    QFETCH(QList<int>, disabled);
    const ListFacts facts{count, selected, search, listening};
    using C = CommandId;
    for (C id : {C::Copy, C::Paste, C::Delete, C::MultipleDelete, C::DeleteAll, C::MultiplePaste,
                 C::PasteAll, C::LoadList, C::SaveList, C::NewList, C::RemoveList, C::ExportList,
                 C::ListenToClipboard, C::Start, C::Pause, C::Options, C::Exit}) {
        const bool wantEnabled = !disabled.contains(static_cast<int>(id));
        QVERIFY2(commandEnabled(id, facts) == wantEnabled,
                 qPrintable(QStringLiteral("command %1").arg(static_cast<int>(id))));
    }
}

void UiCommonTest::helpTextSplitsStatusAndTooltip() {
    const CommandHelp pause = commandHelp(CommandId::Pause);
    QCOMPARE(pause.statusText, QStringLiteral("Pause recording clipboard."));
    QCOMPARE(pause.tooltip, QStringLiteral("Pause recording"));
    const CommandHelp newList = commandHelp(CommandId::NewList);
    QCOMPARE(newList.statusText, QStringLiteral("Create a new clipboard record list."));
    QVERIFY(newList.tooltip.isEmpty());
    QCOMPARE(readyText(), QStringLiteral("Ready"));
}

void UiCommonTest::secondDialogIsRefusedAndFirstComesToFront() {
    ModalGuard guard;
    QDialog first;
    QDialog second;
    QWidget elsewhere;
    std::optional<int> secondResult{-2};
    bool secondShown = false;
    bool elsewhereActive = false;
    bool firstActiveAgain = false;
    whileOpen([&] {
        // The user has moved to another window meanwhile.
        elsewhere.show();
        elsewhere.activateWindow();
        elsewhereActive = QTest::qWaitFor([&] { return QApplication::activeWindow() == &elsewhere; });
        secondResult = guard.runModal(second);
        secondShown = second.isVisible();
        firstActiveAgain =
            QTest::qWaitFor([&] { return QApplication::activeWindow() == &first; }, 2000);
        first.done(7);
    });
    const std::optional<int> firstResult = guard.runModal(first);
    QCOMPARE(firstResult, std::optional<int>(7));
    QCOMPARE(secondResult, std::optional<int>());
    QVERIFY(!secondShown);
    QVERIFY(elsewhereActive);
    QVERIFY(firstActiveAgain);
}

void UiCommonTest::guardIsFreeAgainAfterTheDialogCloses() {
    ModalGuard guard;
    QDialog dialog;
    whileOpen([&] { dialog.reject(); });
    QCOMPARE(guard.runModal(dialog), std::optional<int>(QDialog::Rejected));
    QVERIFY(!guard.isOpen());
    whileOpen([&] { dialog.accept(); });
    QCOMPARE(guard.runModal(dialog), std::optional<int>(QDialog::Accepted));
}

void UiCommonTest::openContextMenuRefusesMessageBox() {
    QWidget mainWindow;
    ModalGuard guard(&mainWindow);
    QMenu menu;
    QAction* item = menu.addAction(QStringLiteral("&Options"));
    std::optional<QMessageBox::StandardButton> boxResult{QMessageBox::Ok};
    whileOpen([&] {
        boxResult = guard.messageBox(QStringLiteral("Delete?"), QStringLiteral("Quillet"),
                                     QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
        menu.setActiveAction(item);
        QTest::keyClick(&menu, Qt::Key_Return);
    });
    const std::optional<QAction*> chosen = guard.popupMenu(menu, QPoint(10, 10));
    QCOMPARE(boxResult, std::optional<QMessageBox::StandardButton>());
    QCOMPARE(chosen, std::optional<QAction*>(item));
    QVERIFY(!guard.isOpen());
}

QTEST_MAIN(UiCommonTest)
#include "ui_common_test.moc"
