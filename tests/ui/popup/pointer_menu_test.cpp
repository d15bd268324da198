// The menu window at the pointer on Qt's offscreen platform: where it opens, what a click on a
// row does, and what it keeps in the options.

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "persist/config/option_keys.h"
#include "tests/ui/views/views_fixture.h"
#include "ui/popup/pointer_menu.h"
#include "ui/views/record_list_view.h"

namespace {

TEST(PointerMenuPlace, OnTheSideOfThePointerWhereItFits) {
    const QRect screen(0, 0, 1000, 800);
    const QSize size(150, 300);
    struct Case {
        QPoint pointer, expected;
    } cases[] = {
        {{100, 100}, {100, 100}},  // top left quarter: right of and below the pointer
        {{900, 100}, {750, 100}},  // right half: left of it
        {{100, 700}, {100, 400}},  // bottom half: above it
        {{900, 700}, {750, 400}},
        {{500, 400}, {500, 400}},  // on the middle: still right and below
    };
    for (const Case& c : cases)
        EXPECT_EQ(PointerMenu::placeAtPointer(c.pointer, size, screen), c.expected) << c.pointer.x() << "," << c.pointer.y();
}

class PointerMenuTest : public viewstest::ViewsTest {};

TEST_F(PointerMenuTest, OpensWithNothingSelectedAndAClickOnARowPastesItAndCloses) {
    config.options().setSize(kOptMenuWindowSize, platform::Size{200, 250});
    std::vector<bool> shown;
    PointerMenu menu(context, [&](bool on) { shown.push_back(on); });
    EXPECT_EQ(menu.window().size(), QSize(200, 250));
    menu.window().currentListWindow()->selectRow(3);
    menu.showAtPointer();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu.window()));
    EXPECT_TRUE(menu.menuVisible());
    EXPECT_EQ(menu.window().currentListWindow()->selectedRow(), -1);

    RecordListView& view = menu.window().currentListWindow()->view();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(view.model()->index(2, 0)).center());
    EXPECT_FALSE(menu.menuVisible());
    ASSERT_TRUE(waitFor([&] { return !pasted.empty(); }));
    EXPECT_EQ(pasted, std::vector<std::string>{"m2"});
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));

    menu.showAtPointer();
    menu.hideMenu();
    EXPECT_FALSE(menu.menuVisible());
}

TEST_F(PointerMenuTest, KeepsItsSizeAndTabInTheOptions) {
    PointerMenu menu(context, nullptr);
    menu.window().resize(180, 220);
    menu.window().selectTab(1);
    menu.save();
    EXPECT_EQ(config.options().getSize(kOptMenuWindowSize, {}), (platform::Size{180, 220}));
    EXPECT_EQ(config.options().getInt(kOptMenuTab, 0), 1);
    PointerMenu again(context, nullptr);
    EXPECT_EQ(again.window().size(), QSize(180, 220));
    EXPECT_EQ(again.window().currentTabIndex(), 1);
}

}  // namespace
