// What the program's shortcuts do to the popup, floating and menu windows, and which chords the
// keyboard hook asks the desktop for.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/hook_keys.h"
#include "engine/shortcut_dispatch.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/desktop_types.h"

namespace {

using namespace platform;
using engine::KeyEvent;

// The three windows as the keys see them; every action is written down and changes the state.
struct Windows final : engine::PopupKeys, engine::FloatingKeys, engine::MenuKeys {
    bool popup = false, floating = false, expanded = true, menu = false;
    std::vector<std::string> log;

    bool popupVisible() const override { return popup; }
    void showPopup(bool plainText) override { popup = true, log.push_back(plainText ? "popup plain" : "popup"); }
    void selectAdjacentInPopup(bool next) override { log.push_back(next ? "popup next" : "popup previous"); }
    void pastePopupSelection() override { popup = false, log.push_back("popup paste"); }
    void hidePopup() override { popup = false, log.push_back("popup hide"); }

    bool floatingVisible() const override { return floating; }
    bool floatingExpanded() const override { return expanded; }
    void expandFloating() override { expanded = true, log.push_back("expand"); }
    void collapseFloating() override { expanded = false, log.push_back("collapse"); }
    void showFloating() override { floating = true, log.push_back("show"); }
    void hideFloating() override { floating = false, log.push_back("hide"); }
    void selectAdjacentInFloating(bool next) override { log.push_back(next ? "floating next" : "floating previous"); }
    void pasteFloatingSelection() override { log.push_back("floating paste"); }

    bool menuVisible() const override { return menu; }
    void hideMenu() override { menu = false, log.push_back("menu hide"); }
};

struct Fixture {
    AppConfig config;
    Windows windows;
    int deliveredPastes = 0;
    engine::ShortcutDispatch dispatch{config.options(), [this] { ++deliveredPastes; }};

    Fixture() {
        dispatch.setPopup(&windows);
        dispatch.setFloating(&windows);
        dispatch.setMenu(&windows);
        engine::deferredCtrlV = false;
    }

    // Modifiers as the hook reads them; the matches from the options, as the hook computes them.
    bool key(uint32_t message, uint32_t vk, engine::ModifierState held) {
        KeyEvent e;
        e.message = message;
        e.vk = vk;
        e.modifiers = held;
        e.matches = engine::matchShortcuts(held, config.options());
        return dispatch.dispatchKey(e);
    }
};

constexpr engine::ModifierState kWin{false, false, true, false};
constexpr engine::ModifierState kWinShift{false, false, true, true};
constexpr engine::ModifierState kCtrl{true, false, false, false};

struct Case {
    const char* name;
    bool popup, floating, expanded, menu;  // before the key
    uint32_t message, vk;
    engine::ModifierState held;
    std::vector<std::string> actions;
    bool swallowed;
};

TEST(ShortcutDispatch, KeysTable) {
    const Case cases[] = {
        {"popup key opens the popup", false, false, true, false, WM_KEYDOWN, 'V', kWin, {"popup"}, true},
        {"plain-text key opens it in plain-text mode", false, false, true, false, WM_KEYDOWN, 'B', kWin, {"popup plain"}, true},
        {"popup key again moves on", true, false, true, false, WM_KEYDOWN, 'V', kWin, {"popup next"}, true},
        {"plain-text key moves on too", true, false, true, false, WM_KEYDOWN, 'B', kWin, {"popup next"}, true},
        {"Shift held: nothing", false, false, true, false, WM_KEYDOWN, 'V', kWinShift, {}, false},
        {"popup key without its modifiers", false, false, true, false, WM_KEYDOWN, 'V', {}, {}, false},
        {"Enter pastes from the popup", true, true, true, false, WM_KEYDOWN, VK_RETURN, kWin, {"popup paste"}, true},
        {"Enter pastes from the floating window", false, true, true, false, WM_KEYDOWN, VK_RETURN, kWin, {"floating paste"}, true},
        {"Enter with the floating window collapsed goes on", false, true, false, false, WM_KEYDOWN, VK_RETURN, kWin, {}, false},
        {"Escape closes both and goes on", true, false, true, true, WM_KEYDOWN, VK_ESCAPE, {}, {"popup hide", "menu hide"}, false},
        {"Up in the popup", true, true, true, false, WM_KEYDOWN, VK_UP, kWin, {"popup previous"}, true},
        {"Down in the floating window", false, true, true, false, WM_KEYDOWN, VK_DOWN, kWin, {"floating next"}, true},
        {"Up expands a collapsed floating window", false, true, false, false, WM_KEYDOWN, VK_UP, kWin, {"expand"}, true},
        {"Down brings a hidden collapsed one back", false, false, false, false, WM_KEYDOWN, VK_DOWN, kWin, {"expand", "show"}, true},
        {"Right shows a hidden one", false, false, true, false, WM_SYSKEYDOWN, VK_RIGHT, kWin, {"show"}, true},
        {"Right expands a collapsed one", false, true, false, false, WM_KEYDOWN, VK_RIGHT, kWin, {"expand"}, true},
        {"Left collapses", false, true, true, false, WM_KEYDOWN, VK_LEFT, kWin, {"collapse"}, true},
        {"Left again hides", false, true, false, false, WM_KEYDOWN, VK_LEFT, kWin, {"hide"}, true},
        {"Left with it hidden goes on", false, false, false, false, WM_KEYDOWN, VK_LEFT, kWin, {}, false},
        {"arrows without the modifiers go on", false, true, true, false, WM_KEYDOWN, VK_DOWN, {}, {}, false},
        {"releasing Win pastes from the popup", true, false, true, false, WM_KEYUP, VK_LWIN, kWin, {"popup paste"}, false},
        {"releasing V does not", true, false, true, false, WM_KEYUP, 'V', kWin, {}, false},
        {"releasing Win with Shift held does not", true, false, true, false, WM_KEYUP, VK_RWIN, kWinShift, {}, false},
        {"another key goes on", true, true, true, true, WM_KEYDOWN, 'X', kWin, {}, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.windows.popup = c.popup;
        f.windows.floating = c.floating;
        f.windows.expanded = c.expanded;
        f.windows.menu = c.menu;
        EXPECT_EQ(f.key(c.message, c.vk, c.held), c.swallowed) << c.name;
        EXPECT_EQ(f.windows.log, c.actions) << c.name;
    }
}

TEST(ShortcutDispatch, CtrlVOncePastesTheClipboardTwiceOpensThePopup) {
    Fixture f;
    f.config.setBool(kOptPopupShortcutCtrl, true);
    f.config.setBool(kOptPopupShortcutWin, false);

    EXPECT_TRUE(f.key(WM_KEYDOWN, 'V', kCtrl));  // held back
    EXPECT_FALSE(f.key(WM_KEYUP, 'V', kCtrl));
    EXPECT_TRUE(f.windows.log.empty());
    EXPECT_FALSE(f.key(WM_KEYUP, VK_LCONTROL, kCtrl));
    EXPECT_EQ(f.deliveredPastes, 1);
    EXPECT_TRUE(f.windows.log.empty());

    EXPECT_TRUE(f.key(WM_KEYDOWN, 'V', kCtrl));
    EXPECT_TRUE(f.key(WM_KEYDOWN, 'V', kCtrl));
    EXPECT_EQ(f.windows.log, (std::vector<std::string>{"popup"}));
    EXPECT_FALSE(f.key(WM_KEYUP, VK_RCONTROL, kCtrl));
    EXPECT_EQ(f.windows.log, (std::vector<std::string>{"popup", "popup paste"}));
    EXPECT_EQ(f.deliveredPastes, 1);
}

TEST(ShortcutDispatch, WithoutWindowsNothingIsSwallowed) {
    AppConfig config;
    engine::ShortcutDispatch dispatch(config.options(), nullptr);
    KeyEvent e;
    e.message = WM_KEYDOWN;
    e.matches = {true, true};
    for (uint32_t vk : {uint32_t{'V'}, VK_RETURN, VK_UP, VK_LEFT, VK_RIGHT, VK_ESCAPE}) {
        e.vk = vk;
        EXPECT_FALSE(dispatch.dispatchKey(e)) << vk;
    }
}

TEST(HookKeys, TheShortcutsWithTheirModifiersAndThePickingKeysOnlyWhilePicking) {
    AppConfig config;
    const KeyChord winV{'V', false, false, true}, winB{'B', false, false, true};
    const KeyChord winUp{VK_UP, false, false, true}, escape{VK_ESCAPE}, winEscape{VK_ESCAPE, false, false, true};

    const std::vector<KeyChord> idle = engine::hookKeys(config.options(), false);
    EXPECT_EQ(std::set<KeyChord>(idle.begin(), idle.end()), (std::set<KeyChord>{winV, winB, winUp, {VK_DOWN, false, false, true}, {VK_RETURN, false, false, true},
                                                   {VK_LEFT, false, false, true}, {VK_RIGHT, false, false, true}}));
    EXPECT_EQ(idle.size(), 7u);  // Win+Up is both a popup key (while picking) and a floating key: asked once

    const std::vector<KeyChord> picking = engine::hookKeys(config.options(), true);
    for (const KeyChord& k : {escape, winEscape, winUp})
        EXPECT_EQ(std::count(picking.begin(), picking.end(), k), 1) << chordName(k);

    config.setBool(kOptPopupShortcutCtrl, true);
    config.setBool(kOptPopupShortcutAlt, true);
    config.setBool(kOptPopupShortcutWin, false);
    config.setChar(kOptPopupShortcutKey, '7');
    config.setBool(kOptFloatingKeysEnabled, false);
    EXPECT_EQ(engine::hookKeys(config.options(), false),
              (std::vector<KeyChord>{{'7', true, true, false}, {'B', true, true, false}}));
    config.setBool(kOptPopupShortcutEnabled, false);
    EXPECT_EQ(engine::hookKeys(config.options(), true), (std::vector<KeyChord>{escape}));
}

TEST(HookKeys, ChordNamesForTheUser) {
    EXPECT_EQ(chordName({'V', false, false, true}), "Super+V");
    EXPECT_EQ(chordName({VK_UP, true, true, false}), "Ctrl+Alt+Up");
    EXPECT_EQ(chordName({VK_ESCAPE}), "Escape");
}

}  // namespace
