// The keyboard hook: which events reach the shortcut dispatch, with which modifier state and
// matches, the Ctrl+C rule, and Ctrl+V as a popup shortcut that still pastes normally.

#include "engine/keyboard_hook.h"
#include "engine_fixture.h"

namespace engine_test {
namespace {

using engine::CtrlVStep;
using engine::ModifierState;
using engine::ShortcutMatches;

struct MatchCase {
    const char* name;
    std::vector<std::pair<int, bool>> options;  // changed from the defaults
    ModifierState held;
    ShortcutMatches expected;
};

TEST(KeyboardHookRules, MatchingTable) {
    const ModifierState win{false, false, true, false};
    const MatchCase cases[] = {
        {"Win with the defaults", {}, win, {true, true}},
        {"Win+Shift disables both", {}, {false, false, true, true}, {false, false}},
        {"nothing held", {}, {}, {false, false}},
        {"an extra modifier", {}, {true, false, true, false}, {false, false}},
        {"popup on Ctrl", {{kOptPopupShortcutCtrl, true}, {kOptPopupShortcutWin, false}},
         {true, false, false, false}, {true, false}},
        {"popup on Ctrl+Alt", {{kOptPopupShortcutCtrl, true}, {kOptPopupShortcutAlt, true}, {kOptPopupShortcutWin, false}},
         {true, true, false, false}, {true, false}},
        {"popup switched off", {{kOptPopupShortcutEnabled, false}}, win, {false, true}},
        {"floating keys switched off", {{kOptFloatingKeysEnabled, false}}, win, {true, false}},
        {"floating on Alt+Win", {{kOptFloatingKeysAlt, true}}, {false, true, true, false}, {false, true}},
    };
    for (const MatchCase& c : cases) {
        AppConfig config;
        for (auto [key, value] : c.options) config.setBool(key, value);
        EXPECT_EQ(engine::matchShortcuts(c.held, config.options()), c.expected) << c.name;
    }
}

TEST(KeyboardHookRules, OnlyRealKeyEventsReachTheDispatch) {
    EXPECT_TRUE(engine::reachesDispatch(HC_ACTION, 0));
    EXPECT_TRUE(engine::reachesDispatch(HC_ACTION, 0x20));  // Alt down flag: still real
    EXPECT_FALSE(engine::reachesDispatch(HC_ACTION, LLKHF_INJECTED));
    EXPECT_FALSE(engine::reachesDispatch(3, 0));
    for (uint32_t m : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP, WM_SYSKEYUP}) EXPECT_TRUE(engine::isKeyMessage(m));
    EXPECT_FALSE(engine::isKeyMessage(WM_LBUTTONDOWN));
}

TEST(KeyboardHookRules, CtrlCArmsTheChainCheckOnlyWithCtrlAloneWhileRecording) {
    struct Case {
        const char* name;
        uint32_t message;
        uint32_t vk;
        ModifierState held;
        bool recording;
        bool arms;
    } cases[] = {
        {"Ctrl+C", WM_KEYDOWN, 'C', {true, false, false, false}, true, true},
        {"Ctrl+C while paused", WM_KEYDOWN, 'C', {true, false, false, false}, false, false},
        {"Ctrl+Shift+C", WM_KEYDOWN, 'C', {true, false, false, true}, true, false},
        {"Ctrl+Alt+C", WM_SYSKEYDOWN, 'C', {true, true, false, false}, true, false},
        {"Win+Ctrl+C", WM_KEYDOWN, 'C', {true, false, true, false}, true, false},
        {"C alone", WM_KEYDOWN, 'C', {}, true, false},
        {"releasing C", WM_KEYUP, 'C', {true, false, false, false}, true, false},
        {"Ctrl+X", WM_KEYDOWN, 'X', {true, false, false, false}, true, false},
    };
    for (const Case& c : cases) {
        AppConfig config;
        config.setBool(kOptRecording, c.recording);
        EXPECT_EQ(engine::armsChainCheck(c.message, c.vk, c.held, config.options()), c.arms) << c.name;
    }
}

TEST(KeyboardHookRules, ThePopupShortcutIsCtrlVOnlyExactly) {
    struct Case {
        const char* name;
        bool ctrl, alt, win;
        char key;
        bool ctrlV;
    } cases[] = {
        {"defaults (Win+V)", false, false, true, 'V', false},
        {"Ctrl+V", true, false, false, 'V', true},
        {"Ctrl+Alt+V", true, true, false, 'V', false},
        {"Win+Ctrl+V", true, false, true, 'V', false},
        {"Ctrl+B", true, false, false, 'B', false},
    };
    for (const Case& c : cases) {
        AppConfig config;
        config.setBool(kOptPopupShortcutCtrl, c.ctrl);
        config.setBool(kOptPopupShortcutAlt, c.alt);
        config.setBool(kOptPopupShortcutWin, c.win);
        config.setChar(kOptPopupShortcutKey, c.key);
        EXPECT_EQ(engine::popupShortcutIsCtrlV(config.options()), c.ctrlV) << c.name;
    }
}

TEST(KeyboardHookRules, AHeldBackVPastesOnReleaseOrOpensThePopupOnASecondPress) {
    const ModifierState ctrl{true, false, false, false};
    bool deferred = false;
    EXPECT_EQ(engine::deferredCtrlVOnPopupKey(deferred, 'V', ctrl), CtrlVStep::HoldBack);
    EXPECT_TRUE(deferred);
    EXPECT_EQ(engine::deferredCtrlVOnKeyUp(deferred, 'V'), CtrlVStep::NotInvolved);
    EXPECT_EQ(engine::deferredCtrlVOnKeyUp(deferred, VK_RCONTROL), CtrlVStep::DeliverPaste);
    EXPECT_FALSE(deferred);
    EXPECT_EQ(engine::deferredCtrlVOnKeyUp(deferred, VK_LCONTROL), CtrlVStep::NotInvolved);

    EXPECT_EQ(engine::deferredCtrlVOnPopupKey(deferred, 'V', ctrl), CtrlVStep::HoldBack);
    EXPECT_EQ(engine::deferredCtrlVOnPopupKey(deferred, 'V', ctrl), CtrlVStep::OpenPopup);
    EXPECT_FALSE(deferred);
    EXPECT_EQ(engine::deferredCtrlVOnKeyUp(deferred, VK_LCONTROL), CtrlVStep::NotInvolved);

    // Any other popup shortcut opens the popup at once.
    EXPECT_EQ(engine::deferredCtrlVOnPopupKey(deferred, 'V', {false, false, true, false}), CtrlVStep::OpenPopup);
    EXPECT_EQ(engine::deferredCtrlVOnPopupKey(deferred, 'B', ctrl), CtrlVStep::OpenPopup);
    EXPECT_FALSE(deferred);
}

class Hook : public EngineFixture {
protected:
    Hook() { start(); }
    const engine::KeyEvent* lastEventFor(uint32_t vk, uint32_t message) const {
        for (auto it = dispatch.events.rbegin(); it != dispatch.events.rend(); ++it)
            if (it->vk == vk && it->message == message) return &*it;
        return nullptr;
    }
    bool editorGot(uint32_t vk, uint32_t message) const {
        for (const sim::KeyMessage& k : desk.keyMessages(editorText))
            if (k.vk == vk && k.message == message) return true;
        return false;
    }
};

TEST_F(Hook, TheDispatchSeesTheModifiersHeldBeforeEachEventAndTheMatches) {
    dispatch.swallowIf = [](const engine::KeyEvent& e) { return e.matches.popup && e.vk == 'V'; };
    desk.keyDown(VK_LWIN);
    desk.keyDown('V');
    desk.keyUp('V');
    desk.keyUp(VK_LWIN);

    const engine::KeyEvent* winDown = lastEventFor(VK_LWIN, WM_KEYDOWN);
    ASSERT_NE(winDown, nullptr);
    EXPECT_EQ(winDown->modifiers, ModifierState{});
    const engine::KeyEvent* v = lastEventFor('V', WM_KEYDOWN);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->modifiers, (ModifierState{false, false, true, false}));
    EXPECT_EQ(v->matches, (ShortcutMatches{true, true}));
    // At its own release, Win still counts as held.
    const engine::KeyEvent* winUp = lastEventFor(VK_LWIN, WM_KEYUP);
    ASSERT_NE(winUp, nullptr);
    EXPECT_TRUE(winUp->modifiers.win);
    // The swallowed V never reached the editor; the rest did.
    EXPECT_FALSE(editorGot('V', WM_KEYDOWN));
    EXPECT_TRUE(editorGot(VK_LWIN, WM_KEYUP));
}

TEST_F(Hook, WinShiftVMatchesNothingAndReachesTheProgram) {
    dispatch.swallowIf = [](const engine::KeyEvent& e) { return e.matches.popup && e.vk == 'V'; };
    desk.keyDown(VK_RWIN);
    desk.keyDown(VK_RSHIFT);
    desk.keyDown('V');
    const engine::KeyEvent* v = lastEventFor('V', WM_KEYDOWN);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->matches, (ShortcutMatches{false, false}));
    EXPECT_TRUE(editorGot('V', WM_KEYDOWN));
}

TEST_F(Hook, AnInjectedKeyPassesWithoutReachingTheDispatch) {
    dispatch.swallowIf = [](const engine::KeyEvent&) { return true; };
    desk.setKeyState(VK_LWIN, true);
    desk.injectKey('V', false);
    desk.injectKey('V', true);
    EXPECT_TRUE(dispatch.events.empty());
    EXPECT_TRUE(editorGot('V', WM_KEYDOWN));
}

TEST_F(Hook, CtrlCArmsTheChainCheckAndTheProgramStillCopies) {
    dispatch.swallowIf = [](const engine::KeyEvent&) { return false; };
    desk.keyDown(VK_LCONTROL);
    desk.keyDown('C');
    EXPECT_TRUE(desk.timerRunning(mainWindow, 4));
    EXPECT_TRUE(editorGot('C', WM_KEYDOWN));
    desk.keyUp('C');
    desk.keyUp(VK_LCONTROL);
    sim.desktop().killTimer(mainWindow, 4);

    desk.keyDown(VK_LCONTROL);
    desk.keyDown(VK_LSHIFT);
    desk.keyDown('C');
    EXPECT_FALSE(desk.timerRunning(mainWindow, 4));
}

// The popup's part of the keyboard dispatch for Ctrl+V as its shortcut.
class CtrlVDispatch final : public engine::KeyboardDispatch {
public:
    explicit CtrlVDispatch(ClipboardEngine& engine) : engine_(engine) {}
    bool dispatchKey(const engine::KeyEvent& e) override {
        if (!e.matches.popup) return false;
        if (engine::isKeyDownMessage(e.message) && e.vk == 'V') {
            if (engine::deferredCtrlVOnPopupKey(engine::deferredCtrlV, e.vk, e.modifiers) == CtrlVStep::OpenPopup)
                popupShown = true;
            return true;
        }
        if (!engine::isKeyDownMessage(e.message) &&
            engine::deferredCtrlVOnKeyUp(engine::deferredCtrlV, e.vk) == CtrlVStep::DeliverPaste)
            engine_.deliverPaste();
        return false;
    }
    bool popupShown = false;

private:
    ClipboardEngine& engine_;
};

TEST_F(Hook, WithCtrlVAsThePopupShortcutASinglePressPastesTheClipboardOnRelease) {
    config.setBool(kOptPopupShortcutCtrl, true);
    config.setBool(kOptPopupShortcutWin, false);
    engine::deferredCtrlV = false;
    CtrlVDispatch popup(engine);
    engine.setKeyboardDispatch(&popup);
    copyText(editorFrame, u"current");

    desk.keyDown(VK_LCONTROL);
    desk.keyDown('V');
    desk.keyUp('V');
    EXPECT_FALSE(editorGot('V', WM_KEYDOWN));  // held back
    desk.keyUp(VK_LCONTROL);
    pump();
    EXPECT_FALSE(popup.popupShown);
    // An ordinary paste of what was there: nothing was written.
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"current"));
    EXPECT_EQ(desk.injectedInput(), (std::vector<KeyboardInput>{{VK_CONTROL, 0, 0, 0, 0},
                                                              {'V', 0, 0, 0, 0},
                                                              {'V', 0, KEYEVENTF_KEYUP, 0, 0},
                                                              {VK_CONTROL, 0, KEYEVENTF_KEYUP, 0, 0}}));
    EXPECT_TRUE(engine.keyboardHookInstalled());

    // Twice while Ctrl is held: the popup, and no paste at the release.
    desk.keyDown(VK_LCONTROL);
    desk.keyDown('V');
    desk.keyDown('V');
    desk.keyUp(VK_LCONTROL);
    pump();
    EXPECT_TRUE(popup.popupShown);
    EXPECT_EQ(desk.injectedInput().size(), 4u);
    engine.setKeyboardDispatch(&dispatch);
}

}  // namespace
}  // namespace engine_test
