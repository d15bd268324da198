// The popup at the caret as the shortcuts drive it, on Qt's offscreen platform: where it shows,
// what it selects, what it pastes (plain text only in plain-text mode), that it never takes the
// focus, and what it keeps in the options.

#include <QGuiApplication>
#include <QScreen>

#include "persist/config/option_keys.h"
#include "platform/clipboard_conversions.h"
#include "tests/ui/views/views_fixture.h"
#include "ui/popup/caret_popup.h"
#include "ui/views/record_list_view.h"

namespace {

using platform::FocusFacts;

class CaretPopupTest : public viewstest::ViewsTest {
protected:
    void SetUp() override {
        ViewsTest::SetUp();
        config.options().setRect(kOptPopupRect, platform::Rect{10, 20, 210, 320});
        popup = std::make_unique<CaretPopup>(
            context, [this](auto answer) { answer(facts); }, [this](bool shown) { picking.push_back(shown); });
    }
    void TearDown() override { popup.reset(); }

    bool shown() { return waitFor([&] { return popup->window().isVisible(); }); }

    std::optional<FocusFacts> facts;
    std::vector<bool> picking;
    std::unique_ptr<CaretPopup> popup;
};

TEST_F(CaretPopupTest, OpensAtTheCaretInsideTheMonitorWithoutTakingTheFocus) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The pointer in the window's bottom-right corner: the popup would overflow right and bottom.
    const platform::Rect window{screen.left(), screen.top(), screen.right() + 1, screen.bottom() + 1};
    facts = FocusFacts{window, 42, std::nullopt, platform::Point{screen.right() - 5, screen.bottom() - 5}};
    popup->showPopup(false);
    ASSERT_TRUE(shown());
    EXPECT_EQ(popup->window().geometry(), QRect(screen.right() + 1 - 200, screen.bottom() + 1 - 300, 200, 300));
    EXPECT_FALSE(popup->window().isActiveWindow());
    EXPECT_TRUE(popup->window().testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(popup->window().windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_EQ(popup->window().currentListWindow()->selectedRow(), 0);
    ASSERT_FALSE(picking.empty());
    EXPECT_TRUE(picking.back());

    // A caret the focused window's process reports wins over the pointer.
    popup->hidePopup();
    facts->caret = platform::CaretReport{42, {screen.left() + 30, screen.top() + 40, screen.left() + 31, screen.top() + 56}};
    popup->showPopup(false);
    ASSERT_TRUE(shown());
    EXPECT_EQ(popup->window().pos(), QPoint(screen.left() + 30, screen.top() + 40));
}

TEST_F(CaretPopupTest, WithoutAutoPositioningOrAFocusedWindowItOpensWhereItWas) {
    config.options().setBool(kOptPopupAutoPosition, false);
    facts = FocusFacts{{0, 0, 500, 500}, 1, std::nullopt, platform::Point{300, 300}};
    popup->showPopup(false);
    ASSERT_TRUE(shown());
    EXPECT_EQ(popup->window().geometry(), QRect(10, 20, 200, 300));

    popup->hidePopup();
    config.options().setBool(kOptPopupAutoPosition, true);
    facts.reset();
    popup->showPopup(false);
    ASSERT_TRUE(shown());
    EXPECT_EQ(popup->window().geometry(), QRect(10, 20, 200, 300));
}

TEST_F(CaretPopupTest, OpensOnTheFirstRowOrWhereTheUserLeftIt) {
    for (const bool selectFirst : {true, false}) {
        config.options().setBool(kOptPopupSelectFirst, selectFirst);
        popup->showPopup(false);
        ASSERT_TRUE(shown());
        popup->window().currentListWindow()->selectRow(3);
        popup->hidePopup();
        popup->showPopup(false);
        ASSERT_TRUE(shown());
        EXPECT_EQ(popup->window().currentListWindow()->selectedRow(), selectFirst ? 0 : 3);
        popup->hidePopup();
    }
}

TEST_F(CaretPopupTest, PastesTheSelectedRecordOrInPlainTextModeOnlyItsText) {
    popup->showPopup(false);
    ASSERT_TRUE(shown());
    popup->selectAdjacentInPopup(true);
    popup->pastePopupSelection();
    EXPECT_FALSE(popup->window().isVisible());
    ASSERT_TRUE(waitFor([&] { return pasted.size() == 1; }));
    EXPECT_EQ(pasted[0], "m1");
    EXPECT_FALSE(picking.back());

    // A record with HTML besides: plain-text mode pastes a record of its text alone.
    std::vector<std::unique_ptr<cb::Item>> html;
    html.push_back(std::make_unique<cb::HtmlItem>(cmn::mblock<char>(
        platform::htmlToHtmlFormat("<html><body><!--StartFragment--><b>rich</b> text<!--EndFragment--></body></html>"))));
    const cb::RecordPtr rich = viewstest::capturedRecord(u"rich text", std::move(html));
    list(0).add(rich);
    cb::RecordPtr got;
    const cb::RecordList* gotList = &list(1);
    actions.pasteRecord = [&](const cb::RecordPtr& r, const cb::RecordList* l) {
        got = r, gotList = l;
        return true;
    };
    popup->showPopup(true);
    ASSERT_TRUE(shown());
    popup->pastePopupSelection();
    ASSERT_TRUE(waitFor([&] { return got != nullptr; }));
    EXPECT_EQ(got->textUtf8(), "rich text");
    EXPECT_NE(got, rich);
    EXPECT_EQ(gotList, nullptr);
    const std::unique_ptr<cb::DataObject> items = got->rebuildItems(nullptr);
    for (size_t i = 0; i < items->count(); ++i) EXPECT_EQ(dynamic_cast<cb::HtmlItem*>(items->at(i)), nullptr);
}

TEST_F(CaretPopupTest, AClickOnARowPastesIt) {
    popup->showPopup(false);
    ASSERT_TRUE(shown());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popup->window()));
    RecordListView& view = popup->window().currentListWindow()->view();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(view.model()->index(2, 0)).center());
    ASSERT_TRUE(waitFor([&] { return !pasted.empty(); }));
    EXPECT_EQ(pasted, std::vector<std::string>{"m2"});
    EXPECT_FALSE(popup->window().isVisible());
}

TEST_F(CaretPopupTest, KeepsItsPlaceAndTabInTheOptions) {
    popup->window().selectTab(1);
    popup->window().setGeometry(40, 50, 220, 330);
    popup->save();
    EXPECT_EQ(config.options().getRect(kOptPopupRect, {}), (platform::Rect{40, 50, 260, 380}));
    EXPECT_EQ(config.options().getInt(kOptPopupTab, 0), 1);
    CaretPopup again(context, nullptr, nullptr);
    EXPECT_EQ(again.window().geometry(), QRect(40, 50, 220, 330));
    EXPECT_EQ(again.window().currentTabIndex(), 1);
}

}  // namespace
