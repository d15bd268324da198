// The program's shortcuts on a real X server with openbox: keys pressed from another client (as
// a keyboard would) reach the engine's hook through key grabs, the popup (a stand-in here) opens
// and pastes into paste_target, which keeps the focus throughout; keys the shortcuts do not use
// reach it unchanged. Skipped where Xvfb, openbox or xclip is not installed.

#include "tests/x11/desktop_fixture.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/clipboard_engine.h"
#include "engine/clipboard_writer.h"
#include "engine/shortcut_dispatch.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/x11/window_queries.h"
#include "platform/x11/x11_desktop.h"

namespace {

using namespace std::chrono_literals;
using platform::KeyChord;
using x11test::PasteTarget;

// The popup as the keys drive it: a selection that pastes from the listening list.
class StandInPopup final : public engine::PopupKeys {
public:
    StandInPopup(ClipboardEngine& engine, cb::History& history) : engine_(engine), history_(history) {}
    bool popupVisible() const override { return visible; }
    void showPopup(bool plain) override {
        visible = true;
        plainText = plain;
        selected = 0;
        ++shown;
        engine_.setPickingWindowShown(true);
    }
    void selectAdjacentInPopup(bool next) override { selected = next ? selected + 1 : std::max(selected - 1, 0); }
    void pastePopupSelection() override {
        hidePopup();
        cb::RecordList& list = *history_.listeningList();
        engine_.pasteRecord(list.records().at(static_cast<size_t>(selected)), &list);
    }
    void hidePopup() override {
        visible = false;
        engine_.setPickingWindowShown(false);
    }

    bool visible = false, plainText = false;
    int selected = 0, shown = 0;

private:
    ClipboardEngine& engine_;
    cb::History& history_;
};

class StandInFloating final : public engine::FloatingKeys {
public:
    bool floatingVisible() const override { return visible; }
    bool floatingExpanded() const override { return expanded; }
    void expandFloating() override { expanded = true; }
    void collapseFloating() override { expanded = false; }
    void showFloating() override { visible = true; }
    void hideFloating() override { visible = false; }
    void selectAdjacentInFloating(bool) override {}
    void pasteFloatingSelection() override {}
    bool visible = false, expanded = true;
};

class X11Shortcuts : public x11test::DesktopFixture {
protected:
    void SetUp() override {
        startDesktop(true, {"xclip"});
        if (IsSkipped() || HasFatalFailure()) return;
        platform::x11::X11DesktopOptions options;
        options.serveAfterExit = false;
        desktop_ = std::make_unique<platform::x11::X11Desktop>(connection(), options);
        desktop_->setOnShortcutRefused([this](const KeyChord& chord) { refused_.push_back(chord); });
        history_.resetToDefault();
        // Newest first: "first" is row 0.
        for (const char16_t* text : {u"second", u"first"}) {
            auto record = boost::make_shared<cb::Record>();
            ASSERT_TRUE(cb::makeTextOnlyRecord(*record, text));
            history_.listeningList()->insert(record, 0);
        }
        engine_ = std::make_unique<ClipboardEngine>(*desktop_, config_, history_);
        dispatch_ = std::make_unique<engine::ShortcutDispatch>(config_.options(), [this] { engine_->deliverPaste(); });
        popup_ = std::make_unique<StandInPopup>(*engine_, history_);
        dispatch_->setPopup(popup_.get());
        dispatch_->setFloating(&floating_);
        engine_->setKeyboardDispatch(dispatch_.get());
        engine::deferredCtrlV = false;
    }

    void TearDown() override {
        if (engine_) engine_->stop();
        engine_.reset();
        desktop_.reset();
        DesktopFixture::TearDown();
    }

    void startEngine() {
        window_ = desktop_->createWindow(u"QuilletMainWindow", [this](uint32_t m, uintptr_t w, intptr_t l) {
            intptr_t result = 0;
            return engine_->handleMessage(m, w, l, result) ? result : 0;
        });
        engine_->start(window_);
        ASSERT_TRUE(engine_->keyboardHookInstalled());
    }

    PasteTarget& focusedTarget() {
        PasteTarget& t = startTarget("Editor");
        EXPECT_TRUE(waitUntilActive(t.window()));
        return t;
    }

    // Presses and releases, from another client, each key of a space-separated list.
    void tap(const std::string& keysym) {
        fakeKey(keysym, true);
        fakeKey(keysym, false);
    }
    void quiet() { runFor(150ms); }

    static size_t count(const std::vector<std::string>& log, const std::string& line) {
        return static_cast<size_t>(std::count(log.begin(), log.end(), line));
    }
    static bool logged(const std::vector<std::string>& log, const std::string& prefix) {
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

    AppConfig config_;
    cb::History history_;
    std::unique_ptr<platform::x11::X11Desktop> desktop_;
    std::unique_ptr<ClipboardEngine> engine_;
    std::unique_ptr<engine::ShortcutDispatch> dispatch_;
    std::unique_ptr<StandInPopup> popup_;
    StandInFloating floating_;
    platform::WindowHandle window_{};
    std::vector<KeyChord> refused_;
};

TEST_F(X11Shortcuts, SuperVOpensThePopupVMovesOnAndReleasingSuperPastesIntoTheFocusedProgram) {
    startEngine();
    PasteTarget& target = focusedTarget();
    fakeKey("Super_L", true);
    tap("v");
    ASSERT_TRUE(runUntil([&] { return popup_->visible; }));
    EXPECT_FALSE(popup_->plainText);
    tap("v");
    ASSERT_TRUE(runUntil([&] { return popup_->selected == 1; }));
    EXPECT_EQ(platform::x11::activeWindow(connection()), target.window());
    fakeKey("Super_L", false);
    ASSERT_TRUE(runUntil([&] { return target.pasted() == "second"; }));
    EXPECT_FALSE(popup_->visible);

    // The target saw Super come and go and the paste chord, never the V of the shortcut.
    const std::vector<std::string> log = target.keyLog();
    EXPECT_TRUE(logged(log, "press Super_L")) << ::testing::PrintToString(log);
    EXPECT_TRUE(logged(log, "release Super_L"));
    EXPECT_EQ(count(log, "press v 0x4"), 1u) << ::testing::PrintToString(log);
    EXPECT_FALSE(logged(log, "press v 0x40"));
    EXPECT_TRUE(engine_->keyboardHookInstalled());

    // And again: the grabs are back after the paste.
    fakeKey("Super_L", true);
    tap("b");
    ASSERT_TRUE(runUntil([&] { return popup_->visible; }));
    EXPECT_TRUE(popup_->plainText);
    fakeKey("Super_L", false);
    EXPECT_TRUE(runUntil([&] { return target.pasted() == "secondfirst"; }));
}

TEST_F(X11Shortcuts, EnterPastesAtOnceEscapeClosesAndGoesOnShiftHeldDoesNothing) {
    startEngine();
    PasteTarget& target = focusedTarget();
    fakeKey("Super_L", true);
    tap("v");
    ASSERT_TRUE(runUntil([&] { return popup_->visible; }));
    tap("Return");
    ASSERT_TRUE(runUntil([&] { return target.pasted() == "first"; }));
    EXPECT_FALSE(popup_->visible);
    EXPECT_FALSE(logged(target.keyLog(), "press Return"));

    tap("v");
    ASSERT_TRUE(runUntil([&] { return popup_->visible; }));
    tap("Escape");
    ASSERT_TRUE(runUntil([&] { return logged(target.keyLog(), "press Escape"); }));
    EXPECT_FALSE(popup_->visible);
    fakeKey("Super_L", false);
    quiet();
    EXPECT_EQ(target.pasted(), "first");  // closed without pasting

    fakeKey("Super_L", true);
    fakeKey("Shift_L", true);
    tap("v");
    ASSERT_TRUE(runUntil([&] { return logged(target.keyLog(), "press v 0x41"); }));
    fakeKey("Shift_L", false);
    fakeKey("Super_L", false);
    quiet();
    EXPECT_EQ(popup_->shown, 2);
    EXPECT_EQ(target.pasted(), "first");
}

TEST_F(X11Shortcuts, CtrlVAsThePopupShortcutPastesTheClipboardOnceAndOpensThePopupTwice) {
    config_.setBool(kOptPopupShortcutCtrl, true);
    config_.setBool(kOptPopupShortcutWin, false);
    startEngine();
    PasteTarget& target = focusedTarget();
    cb::RecordList& list = *history_.listeningList();
    ASSERT_TRUE(engine_->writeRecord(list.records()[1], &list));

    fakeKey("Control_L", true);
    tap("v");
    quiet();
    EXPECT_EQ(target.pasted(), "");  // held back until Ctrl is released
    fakeKey("Control_L", false);
    ASSERT_TRUE(runUntil([&] { return target.pasted() == "second"; }));
    EXPECT_EQ(popup_->shown, 0);

    fakeKey("Control_L", true);
    tap("v");
    tap("v");
    ASSERT_TRUE(runUntil([&] { return popup_->visible; }));
    fakeKey("Control_L", false);
    ASSERT_TRUE(runUntil([&] { return target.pasted() == "secondfirst"; })) << target.pasted() << ::testing::PrintToString(target.keyLog());
    // Only our two pastes reached it; the user's V presses never did.
    EXPECT_EQ(count(target.keyLog(), "press v 0x4"), 2u) << ::testing::PrintToString(target.keyLog());
}

TEST_F(X11Shortcuts, FloatingKeysThatActAreSwallowedTheOthersReachTheProgram) {
    startEngine();
    PasteTarget& target = focusedTarget();
    fakeKey("Super_L", true);
    tap("Left");  // nothing to hide: the program gets it
    ASSERT_TRUE(runUntil([&] { return logged(target.keyLog(), "press Left"); }));
    tap("Right");
    ASSERT_TRUE(runUntil([&] { return floating_.visible; }));
    tap("Left");
    tap("Left");
    ASSERT_TRUE(runUntil([&] { return !floating_.visible && !floating_.expanded; }));
    tap("Up");
    ASSERT_TRUE(runUntil([&] { return floating_.visible && floating_.expanded; }));
    fakeKey("Super_L", false);
    quiet();
    const std::vector<std::string> log = target.keyLog();
    EXPECT_EQ(count(log, "press Left 0x40"), 1u) << ::testing::PrintToString(log);
    EXPECT_FALSE(logged(log, "press Right"));
    EXPECT_FALSE(logged(log, "press Up"));
    EXPECT_EQ(platform::x11::activeWindow(connection()), target.window());
}

TEST_F(X11Shortcuts, TheGrabsFollowTheOptionsAndHoldWithNumLockOn) {
    startEngine();
    PasteTarget& target = focusedTarget();
    config_.setChar(kOptPopupShortcutKey, 'K');
    engine_->updateHookKeys();
    tap("Num_Lock");
    fakeKey("Super_L", true);
    tap("v");
    ASSERT_TRUE(runUntil([&] { return logged(target.keyLog(), "press v"); }));
    EXPECT_FALSE(popup_->visible);
    tap("k");
    EXPECT_TRUE(runUntil([&] { return popup_->visible; }));
    tap("Escape");
    fakeKey("Super_L", false);
    tap("Num_Lock");
    quiet();
    EXPECT_FALSE(logged(target.keyLog(), "press k"));
}

TEST_F(X11Shortcuts, AShortcutAnotherProgramHoldsIsReportedAndTheOthersStillWork) {
    Display* other = XOpenDisplay(DisplayString(display()));
    ASSERT_NE(other, nullptr);
    unsigned superMask = 0;
    XModifierKeymap* map = XGetModifierMapping(other);
    const KeyCode super = XKeysymToKeycode(other, XK_Super_L);
    for (int i = 0; i < 8 * map->max_keypermod; ++i)
        if (map->modifiermap[i] == super) superMask = 1u << (i / map->max_keypermod);
    XFreeModifiermap(map);
    XGrabKey(other, XKeysymToKeycode(other, XK_v), superMask, DefaultRootWindow(other), False, GrabModeAsync,
             GrabModeAsync);
    XSync(other, False);

    startEngine();
    PasteTarget& target = focusedTarget();
    ASSERT_EQ(refused_.size(), 1u);
    EXPECT_EQ(platform::chordName(refused_[0]), "Super+V");
    // Reported once, not again each time the hook comes back after a paste.
    fakeKey("Super_L", true);
    tap("b");
    ASSERT_TRUE(runUntil([&] { return popup_->visible; }));
    fakeKey("Super_L", false);
    ASSERT_TRUE(runUntil([&] { return target.pasted() == "first"; }));
    EXPECT_EQ(refused_.size(), 1u);
    XCloseDisplay(other);
}

}  // namespace
