// The floating window on Qt's offscreen platform: toolbar mode and back, what it keeps in the
// options, its toolbar acting on its own list with its own enabled states, and its keys.

#include <QAction>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>

#include "persist/config/option_keys.h"
#include "tests/ui/views/views_fixture.h"
#include "ui/common/command_ids.h"
#include "ui/popup/floating_window.h"

namespace {

class FloatingWindowTest : public viewstest::ViewsTest {
protected:
    void SetUp() override {
        ViewsTest::SetUp();
        config.options().setRect(kOptFloatingRect, platform::Rect{10, 20, 310, 170});  // 150 high
        config.options().setBool(kOptFloatingVisible, true);
    }
    std::unique_ptr<FloatingWindow> make() {
        return std::make_unique<FloatingWindow>(
            context, [this](int id) { commands.push_back(id); }, [this](const QPoint& p) { menus.push_back(p); });
    }
    QAction& action(FloatingWindow& w, CommandId id) { return *w.toolbarAction(static_cast<int>(id)); }

    std::vector<int> commands;
    std::vector<QPoint> menus;
};

TEST_F(FloatingWindowTest, ToolbarModeKeepsTheToolbarAndExpandingGivesAtLeast180Pixels) {
    auto w = make();
    ASSERT_TRUE(w->isVisible());
    EXPECT_TRUE(w->floatingExpanded());
    EXPECT_EQ(w->modeButton().toolTip(), "Tool bar mode");
    EXPECT_EQ(w->closeButton().toolTip(), "Close");

    w->collapseFloating();
    EXPECT_FALSE(w->floatingExpanded());
    EXPECT_EQ(w->height(), w->minimumHeight());
    EXPECT_GT(w->height(), 0);
    EXPECT_EQ(w->modeButton().toolTip(), "Expand floating window");
    EXPECT_EQ(w->pos(), QPoint(10, 20));

    w->expandFloating();  // it was 150 high: too little to show the list
    EXPECT_TRUE(w->floatingExpanded());
    EXPECT_EQ(w->height(), 180);

    w->resize(w->width(), 260);
    w->modeButton().click();
    EXPECT_FALSE(w->floatingExpanded());
    w->modeButton().click();
    EXPECT_EQ(w->height(), 260);
    EXPECT_EQ(w->pos(), QPoint(10, 20));
}

TEST_F(FloatingWindowTest, KeepsPlaceStateAndTabInTheOptionsOnTheMonitor) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // Beyond the right edge of the monitor: it comes back inside.
    config.options().setRect(kOptFloatingRect, platform::Rect{screen.right() - 50, 5, screen.right() + 250, 305});
    config.options().setInt(kOptFloatingTab, 1);
    auto w = make();
    EXPECT_EQ(w->geometry(), QRect(screen.right() + 1 - 300, 5, 300, 300));
    EXPECT_EQ(w->history().currentTabIndex(), 1);

    w->collapseFloating();
    w->closeButton().click();
    EXPECT_FALSE(w->isVisible());
    w->save();
    w.reset();
    EXPECT_FALSE(config.options().getBool(kOptFloatingVisible, true));
    EXPECT_EQ(config.options().getInt(kOptFloatingExpandedHeight, 0), 300);

    auto again = make();  // hidden and in toolbar mode, as it was left
    EXPECT_FALSE(again->isVisible());
    EXPECT_FALSE(again->floatingExpanded());
    again->expandFloating();
    EXPECT_EQ(again->height(), 300);
}

TEST_F(FloatingWindowTest, ToolbarActsOnItsOwnListWithItsOwnEnabledStates) {
    auto w = make();
    w->history().selectTab(2);  // the empty search list
    EXPECT_FALSE(action(*w, CommandId::PasteAll).isEnabled());
    EXPECT_FALSE(action(*w, CommandId::DeleteAll).isEnabled());
    EXPECT_TRUE(action(*w, CommandId::Options).isEnabled());

    w->history().selectTab(1);
    EXPECT_TRUE(action(*w, CommandId::PasteAll).isEnabled());
    w->history().currentListWindow()->selectRow(1);
    EXPECT_TRUE(action(*w, CommandId::Delete).isEnabled());
    action(*w, CommandId::Delete).trigger();
    EXPECT_EQ(viewstest::texts(list(1)), "w0,w2");
    EXPECT_EQ(viewstest::texts(list(0)).substr(0, 5), "m0,m1");

    action(*w, CommandId::Options).trigger();
    EXPECT_EQ(commands, std::vector<int>{static_cast<int>(CommandId::Options)});
}

TEST_F(FloatingWindowTest, KeysMoveThroughItsListPasteAndShowAndHideIt) {
    auto w = make();
    w->history().currentListWindow()->selectRow(0);
    w->selectAdjacentInFloating(true);
    w->selectAdjacentInFloating(true);
    w->selectAdjacentInFloating(false);
    w->pasteFloatingSelection();
    EXPECT_EQ(pasted, std::vector<std::string>{"m1"});
    EXPECT_TRUE(w->floatingVisible());  // a paste from it leaves it where it is

    w->hideFloating();
    EXPECT_FALSE(w->floatingVisible());
    w->showFloating();
    EXPECT_TRUE(w->floatingVisible());
    EXPECT_FALSE(w->isActiveWindow());
}

TEST_F(FloatingWindowTest, RightClickOnItsOwnAreaShowsTheTrayMenu) {
    auto w = make();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->collapseFloating();
    const QPoint inside(w->width() - 30, w->height() - 2);
    QTest::mouseClick(w.get(), Qt::RightButton, {}, inside);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0], w->mapToGlobal(inside));
}

}  // namespace
