#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTabBar>
#include <sstream>

#include "persist/files/history_file.h"
#include "ui/views/command_ids.h"
#include "ui/views/history_window.h"
#include "ui/views/record_list_view.h"
#include "ui/views/record_list_window.h"
#include "ui/views/search_list_window.h"
#include "views_fixture.h"

using namespace viewstest;

namespace {

class HistoryWindowTest : public ViewsTest {
protected:
    static QStringList captions(const HistoryWindow& w) {
        QStringList out;
        for (int i = 0; i < w.tabCount(); ++i) out << w.tabCaption(i);
        return out;
    }
    static QStringList windowLists(const HistoryWindow& w) {
        QStringList out;
        for (int i = 0; i < w.tabCount(); ++i)
            out << QString::fromStdU16String(w.listWindow(i)->list().name());
        return out;
    }
};

TEST_F(HistoryWindowTest, TabsFollowTheHistory) {
    MainHistoryWindow w(context);
    EXPECT_EQ(captions(w), QStringList({"[Main]", "Work", "Search"}));
    EXPECT_NE(dynamic_cast<SearchListWindow*>(w.listWindow(2)), nullptr);

    history.insertList(new cb::RecordList(u"New"), 1);
    EXPECT_EQ(captions(w), QStringList({"[Main]", "New", "Work", "Search"}));

    list(0).setName(u"Renamed");
    history.notifyListChanged(&list(0));
    EXPECT_EQ(captions(w), QStringList({"[Renamed]", "New", "Work", "Search"}));

    history.setListeningList(&list(2));  // Work
    EXPECT_EQ(captions(w), QStringList({"Renamed", "New", "[Work]", "Search"}));

    history.moveList(3, 0);
    EXPECT_EQ(captions(w), QStringList({"Search", "Renamed", "New", "[Work]"}));
    EXPECT_EQ(windowLists(w), QStringList({"Search", "Renamed", "New", "Work"}));

    history.removeList(history.findListByName(u"New"), true);
    EXPECT_EQ(captions(w), QStringList({"Search", "Renamed", "[Work]"}));
    EXPECT_EQ(windowLists(w), QStringList({"Search", "Renamed", "Work"}));
}

TEST_F(HistoryWindowTest, RemovingTheShownListShowsAnother) {
    MainHistoryWindow w(context);
    w.resize(300, 300);
    w.selectTab(1);
    ASSERT_EQ(&w.currentListWindow()->list(), &list(1));
    history.removeList(&list(1), true);
    QCoreApplication::processEvents();
    ASSERT_NE(w.currentListWindow(), nullptr);
    EXPECT_EQ(w.currentTabIndex(), w.tabBar().currentIndex());
    EXPECT_EQ(&w.currentListWindow()->list(), history.at(static_cast<size_t>(w.currentTabIndex())));
}

TEST_F(HistoryWindowTest, DraggingATabMovesItsListOnceAndTheSavedHistoryKeepsTheOrder) {
    MainHistoryWindow w(context);
    FloatingHistoryWindow other(context);
    int moves = 0;
    struct Counter : cb::HistoryObserver {
        int* n;
        void listInserted(cb::RecordList*, size_t) override {}
        void listRemoved(cb::RecordList*) override {}
        void listeningListChanged(cb::RecordList*, cb::RecordList*) override {}
        void listChanged(cb::RecordList*) override {}
        void listMoved(int, int) override { ++*n; }
    } counter;
    counter.n = &moves;
    history.addObserver(&counter);

    w.moveTabByUser(0, 1);
    EXPECT_EQ(names(history), "Work,Main,Search");
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(windowLists(w), QStringList({"Work", "Main", "Search"}));
    EXPECT_EQ(windowLists(other), QStringList({"Work", "Main", "Search"}));

    // To the very end.
    w.moveTabByUser(0, 2);
    EXPECT_EQ(names(history), "Main,Search,Work");
    EXPECT_EQ(windowLists(w), QStringList({"Main", "Search", "Work"}));
    EXPECT_EQ(windowLists(other), QStringList({"Main", "Search", "Work"}));
    history.removeObserver(&counter);

    std::stringstream file;
    persist::writeHistory(history, file);
    cb::History loaded;
    persist::loadHistoryAtStart(loaded, file);
    EXPECT_EQ(names(loaded), "Main,Search,Work");
}

TEST_F(HistoryWindowTest, ATabDraggedWithTheMouseMovesItsListOnce) {
    MainHistoryWindow w(context);
    w.resize(400, 300);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTabBar& tabs = w.tabBar();
    const QPoint start = tabs.tabRect(0).center();
    const QPoint end = tabs.tabRect(1).center() + QPoint(tabs.tabRect(1).width() / 2, 0);
    QTest::mousePress(&tabs, Qt::LeftButton, {}, start);
    for (int i = 1; i <= 10; ++i) {
        const QPoint p = start + (end - start) * i / 10;
        QMouseEvent move(QEvent::MouseMove, p, tabs.mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&tabs, &move);
    }
    QTest::mouseRelease(&tabs, Qt::LeftButton, {}, end);
    ASSERT_TRUE(waitFor([&] { return names(history) != "Main,Work,Search"; }, 1000));
    EXPECT_EQ(names(history), "Work,Main,Search");
    EXPECT_EQ(windowLists(w), QStringList({"Work", "Main", "Search"}));
}

TEST_F(HistoryWindowTest, SwitchingToATabSelectsItsFirstRow) {
    MainHistoryWindow w(context);
    w.resize(300, 300);
    w.selectTab(1);
    EXPECT_EQ(w.currentListWindow()->selectedRow(), 0);
    w.currentListWindow()->selectRow(2);
    w.selectTab(0);
    w.selectTab(1);
    EXPECT_EQ(w.currentListWindow()->selectedRow(), 2);
    EXPECT_EQ(w.selectedRecord()->textUtf8(), "w2");
    EXPECT_EQ(w.selectedRecord(1)->textUtf8(), "w1");
}

TEST_F(HistoryWindowTest, AdjacentRecordWrapsAround) {
    MainHistoryWindow w(context);
    w.selectTab(1);  // w0 w1 w2, row 0 selected
    w.currentListWindow()->selectRow(-1);
    w.selectAdjacentRecord(true);
    EXPECT_EQ(w.currentListWindow()->selectedRow(), 0);
    w.selectAdjacentRecord(false);
    EXPECT_EQ(w.currentListWindow()->selectedRow(), 2);
    w.selectAdjacentRecord(true);
    EXPECT_EQ(w.currentListWindow()->selectedRow(), 0);
}

TEST_F(HistoryWindowTest, PastingMovesToTheFrontAndOtherWindowsKeepTheirSelection) {
    list(0).setMoveToFront(true);
    MainHistoryWindow main(context);
    FloatingHistoryWindow floating(context);
    main.currentListWindow()->selectRow(2);  // m2
    floating.pasteRecord(5);                 // m5
    EXPECT_EQ(pasted, std::vector<std::string>{"m5"});
    EXPECT_EQ(list(0).at(0)->textUtf8(), "m5");
    EXPECT_EQ(main.currentListWindow()->selectedRow(), 3);
    EXPECT_EQ(main.selectedRecord()->textUtf8(), "m2");
}

TEST_F(HistoryWindowTest, PastingHidesTheWindowFirstAndPastesAfterwards) {
    PopupWindow popup(context);
    popup.show();
    popup.currentListWindow()->selectRow(1);
    popup.pasteRecord(-1, &popup);
    EXPECT_FALSE(popup.isVisible());
    EXPECT_TRUE(pasted.empty());  // not yet: the focus goes back first
    ASSERT_TRUE(waitFor([&] { return !pasted.empty(); }));
    EXPECT_EQ(pasted, std::vector<std::string>{"m1"});
    // Without moveToFront the list keeps its order.
    EXPECT_EQ(list(0).at(1)->textUtf8(), "m1");
}

TEST_F(HistoryWindowTest, DoubleClickInTheFloatingWindowPastesTheRow) {
    FloatingHistoryWindow floating(context);
    floating.resize(300, 300);
    floating.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&floating));
    RecordListView& view = floating.currentListWindow()->view();
    const QPoint p = view.visualRect(view.model()->index(3, 0)).center();
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(pasted, std::vector<std::string>{"m3"});
    EXPECT_TRUE(floating.isVisible());
}

TEST_F(HistoryWindowTest, SendToMenuListsTheRememberedHosts) {
    MainHistoryWindow w(context);
    auto texts = [](const QMenu& menu) {
        QStringList out;
        for (const QAction* a : menu.actions()) out << (a->isSeparator() ? "-" : a->text());
        return out;
    };
    QMenu none;
    w.appendSendTo(none, list_command::kSendRecordFirst, list_command::kSendRecordOther);
    ASSERT_EQ(none.actions().size(), 1);
    EXPECT_EQ(none.actions()[0]->text(), "&Send To");
    EXPECT_EQ(texts(*none.actions()[0]->menu()), QStringList({"Other Computer..."}));
    EXPECT_EQ(none.actions()[0]->menu()->actions()[0]->data().toInt(), 33299);

    for (int i = 0; i < 600; ++i) config.rememberedHosts().emplace_back("host" + std::to_string(i), 1000 + i);
    QMenu many;
    w.appendSendTo(many, list_command::kSendListFirst, list_command::kSendListOther);
    const QList<QAction*> items = many.actions()[0]->menu()->actions();
    ASSERT_EQ(items.size(), 498 + 2);
    EXPECT_EQ(items[0]->text(), "host0 : 1000");
    EXPECT_EQ(items[0]->data().toInt(), 33300);
    EXPECT_EQ(items[497]->text(), "host497 : 1497");
    EXPECT_EQ(items[497]->data().toInt(), 33300 + 497);
    EXPECT_TRUE(items[498]->isSeparator());
    EXPECT_EQ(items[499]->data().toInt(), 33799);
}

TEST_F(HistoryWindowTest, TheEmptyStripMovesEveryWindowButTheMainOne) {
    MainHistoryWindow main(context);
    MenuWindow menu(context);
    for (HistoryWindow* w : {static_cast<HistoryWindow*>(&main), static_cast<HistoryWindow*>(&menu)}) {
        w->resize(600, 300);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }
    QSignalSpy mainMoved(&main, &HistoryWindow::stripDragStarted);
    QSignalSpy menuMoved(&menu, &HistoryWindow::stripDragStarted);
    QWidget* mainStrip = main.tabBar().parentWidget();
    QWidget* menuStrip = menu.tabBar().parentWidget();
    QTest::mousePress(mainStrip, Qt::LeftButton, {}, QPoint(590, 10));
    QTest::mousePress(menuStrip, Qt::LeftButton, {}, QPoint(590, 10));
    EXPECT_EQ(mainMoved.count(), 0);
    EXPECT_EQ(menuMoved.count(), 1);
    // A press on a tab selects it and moves nothing.
    QTest::mousePress(&menu.tabBar(), Qt::LeftButton, {}, menu.tabBar().tabRect(1).center());
    QTest::mouseRelease(&menu.tabBar(), Qt::LeftButton, {}, menu.tabBar().tabRect(1).center());
    EXPECT_EQ(menuMoved.count(), 1);
    EXPECT_EQ(menu.currentTabIndex(), 1);
}

TEST_F(HistoryWindowTest, ASingleClickInTheMenuWindowPastesTheRow) {
    MenuWindow menu(context);
    menu.resize(300, 300);
    menu.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    RecordListView& view = menu.currentListWindow()->view();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.visualRect(view.model()->index(2, 0)).center());
    EXPECT_EQ(pasted, std::vector<std::string>{"m2"});
}

}  // namespace

namespace {

TEST_F(HistoryWindowTest, ListFactsFollowTheShownList) {
    MainHistoryWindow w(context);
    QSignalSpy changed(&w, &HistoryWindow::listFactsChanged);
    w.selectTab(1);
    ListFacts facts = w.currentListFacts();
    EXPECT_EQ(facts.count, 3);
    EXPECT_TRUE(facts.selected);
    EXPECT_FALSE(facts.listening);
    EXPECT_FALSE(facts.search);
    EXPECT_TRUE(w.isCommandEnabled(list_command::kListenToClipboard));

    changed.clear();
    history.setListeningList(&list(1));
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(w.currentListFacts().listening);
    EXPECT_FALSE(w.isCommandEnabled(list_command::kListenToClipboard));

    changed.clear();
    list(1).add(record("more"));
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(w.currentListFacts().count, 4);

    w.selectTab(2);
    EXPECT_TRUE(w.currentListFacts().search);
    EXPECT_FALSE(w.isCommandEnabled(list_command::kDeleteAll));
}

}  // namespace
