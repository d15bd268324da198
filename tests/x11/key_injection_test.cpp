// Injected keys against a real X server with openbox: what the focused program (paste_target)
// receives, that it pastes what the clipboard owner holds, the modifier rules with keys the user
// holds (xdotool keydown), terminal chords, and letters the layout lacks. Skipped where Xvfb,
// openbox, xdotool or xclip is not installed.

// gtest before Xlib: Xlib's macros (None, Bool) would break gtest's own names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/x11/key_injector.h"
#include "platform/x11/paste_keys.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/window_activation.h"
#include "platform/x11/window_queries.h"
#include "tests/x11/desktop_fixture.h"

namespace {

using namespace platform::x11;
using namespace std::chrono_literals;
using platform::KeyboardInput;
using x11test::PasteTarget;
using Lines = std::vector<std::string>;

// "C+ V+ V- C-": the engine's records. C Ctrl, A Alt, V, X an unknown key.
std::vector<KeyboardInput> keys(const std::string& text) {
    std::vector<KeyboardInput> out;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        KeyboardInput k;
        k.vk = token[0] == 'C' ? platform::VK_CONTROL : token[0] == 'A' ? platform::VK_MENU
             : token[0] == 'X' ? 0x07 : static_cast<uint16_t>(token[0]);
        if (token[1] == '-') k.flags = platform::KEYEVENTF_KEYUP;
        out.push_back(k);
    }
    return out;
}

// The target's log without its first `skip` lines.
Lines tail(const PasteTarget& t, size_t skip) {
    Lines all = t.keyLog();
    return Lines(all.begin() + static_cast<long>(std::min(skip, all.size())), all.end());
}

class X11Keys : public x11test::DesktopFixture {
protected:
    void SetUp() override {
        startDesktop(true, {"xdotool", "xclip"});
        if (IsSkipped() || HasFatalFailure()) return;
        injector_ = std::make_unique<KeyInjector>(connection());
        ASSERT_TRUE(injector_->available());
    }
    void TearDown() override {
        injector_.reset();
        DesktopFixture::TearDown();
    }

    PasteTarget& focusedTarget(const std::string& wmClass) {
        PasteTarget& t = startTarget(wmClass);
        EXPECT_TRUE(activateWindow(connection(), t.window()));
        return t;
    }

    // Waits until the target logged `expected` after its first `skip` lines, and for nothing more.
    void expectLog(const PasteTarget& t, size_t skip, const Lines& expected) {
        runUntil([&] { return tail(t, skip).size() >= expected.size(); });
        runFor(50ms);  // an extra key would have arrived by now
        EXPECT_EQ(tail(t, skip), expected);
    }

    bool waitForPaste(const PasteTarget& t, const std::string& bytes) {
        return runUntil([&] { return t.pasted() == bytes; });
    }

    void copyWithXclip(const std::string& selection, const std::string& text) {
        startProgram({"xclip", "-selection", selection, "-i", "-quiet"}, text);
        ASSERT_TRUE(runUntil([&] { return connection().selectionOwner(selection == "primary" ? "PRIMARY" : "CLIPBOARD") != 0; }));
    }

    // The user holding a key, or letting it go: xdotool, except for the right-hand modifiers,
    // for which xdotool would press the left-hand key as well.
    void hold(const std::string& key, bool down) {
        if (key.ends_with("_R")) fakeKey(key, down);
        else ASSERT_TRUE(xdotool({down ? "keydown" : "keyup", key}));
    }

    std::unique_ptr<KeyInjector> injector_;
};

const Lines kCtrlV = {"press Control_L 0x0", "press v 0x4", "paste CLIPBOARD", "release v 0x4",
                      "release Control_L 0x4"};

TEST_F(X11Keys, CtrlVReachesTheFocusedWindowWhichPastesWhatTheOwnerHolds) {
    for (const bool ourOwner : {false, true}) {
        SCOPED_TRACE(ourOwner ? "our SelectionOwner" : "xclip");
        PasteTarget& editor = focusedTarget(ourOwner ? "Gedit" : "Mousepad");
        const std::string text = ourOwner ? "from our owner \xc3\xa9" : "from xclip";
        SelectionOwner owner(connection());
        if (ourOwner) ASSERT_TRUE(owner.own({{"UTF8_STRING", text}}));
        else copyWithXclip("clipboard", text);

        EXPECT_EQ(injector_->inject(keys("C+ V+ V- C-")), 4u);
        expectLog(editor, 0, kCtrlV);
        EXPECT_TRUE(waitForPaste(editor, text)) << editor.pasted();
    }
}

TEST_F(X11Keys, WithCtrlHeldOnlyVIsPressedAndReleased) {
    PasteTarget& editor = focusedTarget("Gedit");
    SelectionOwner owner(connection());
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "held"}}));
    hold("ctrl", true);
    expectLog(editor, 0, {"press Control_L 0x0"});
    ASSERT_TRUE(injector_->isKeyDown(platform::VK_CONTROL));

    EXPECT_EQ(injector_->inject(keys("V+ V-")), 2u);
    expectLog(editor, 1, {"press v 0x4", "paste CLIPBOARD", "release v 0x4"});
    EXPECT_TRUE(waitForPaste(editor, "held"));
    EXPECT_TRUE(injector_->isKeyDown(platform::VK_CONTROL)) << "the user's Ctrl stays down";
    hold("ctrl", false);
}

TEST_F(X11Keys, AHeldAltIsLetGoAroundTheChordWhicheverAltItIs) {
    SelectionOwner owner(connection());
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "alt"}}));
    for (const std::string alt : {"Alt_L", "Alt_R"}) {
        SCOPED_TRACE(alt);
        PasteTarget& editor = focusedTarget("Gedit-" + alt);
        hold(alt, true);
        expectLog(editor, 0, {"press " + alt + " 0x0"});

        EXPECT_EQ(injector_->inject(keys("A- C+ V+ V- C- A+")), 6u);
        Lines expected{"release " + alt + " 0x8"};
        expected.insert(expected.end(), kCtrlV.begin(), kCtrlV.end());
        expected.push_back("press " + alt + " 0x0");
        expectLog(editor, 1, expected);
        EXPECT_TRUE(waitForPaste(editor, "alt"));
        EXPECT_TRUE(injector_->isKeyDown(platform::VK_MENU));
        hold(alt, false);
        EXPECT_FALSE(injector_->isKeyDown(platform::VK_MENU));
    }
}

TEST_F(X11Keys, IsKeyDownSeesKeysHeldByAnotherProgram) {
    using namespace platform;
    const struct {
        const char* key;
        std::vector<uint32_t> down, up;
    } cases[] = {
        {"Control_L", {VK_CONTROL, VK_LCONTROL}, {VK_RCONTROL, VK_SHIFT, VK_MENU}},
        {"Control_R", {VK_CONTROL, VK_RCONTROL}, {VK_LCONTROL}},
        {"Shift_L", {VK_SHIFT, VK_LSHIFT}, {VK_RSHIFT, VK_CONTROL}},
        {"Shift_R", {VK_SHIFT, VK_RSHIFT}, {VK_LSHIFT}},
        {"Alt_L", {VK_MENU, VK_LMENU}, {VK_RMENU}},
        {"Alt_R", {VK_MENU, VK_RMENU}, {VK_LMENU}},
        {"v", {'V'}, {'C', VK_CONTROL}},
        {"Insert", {VK_INSERT}, {VK_RETURN}},
    };
    for (const auto& c : cases) {
        hold(c.key, true);
        for (uint32_t vk : c.down) EXPECT_TRUE(injector_->isKeyDown(vk)) << c.key << " " << vk;
        for (uint32_t vk : c.up) EXPECT_FALSE(injector_->isKeyDown(vk)) << c.key << " " << vk;
        hold(c.key, false);
        for (uint32_t vk : c.down) EXPECT_FALSE(injector_->isKeyDown(vk)) << c.key << " released, " << vk;
    }
    EXPECT_FALSE(injector_->isKeyDown(0x07));
}

TEST_F(X11Keys, TerminalsGetTheirOwnChordAndSelection) {
    SelectionOwner clipboard(connection(), "CLIPBOARD");
    SelectionOwner primary(connection(), "PRIMARY");
    ASSERT_TRUE(clipboard.own({{"UTF8_STRING", "from CLIPBOARD"}}));
    ASSERT_TRUE(primary.own({{"UTF8_STRING", "from PRIMARY"}}));
    const struct {
        const char* wmClass;
        Lines log;
        const char* pasted;
    } cases[] = {
        {"kitty",
         {"press Control_L 0x0", "press Shift_L 0x4", "press v 0x5", "paste CLIPBOARD", "release v 0x5",
          "release Shift_L 0x5", "release Control_L 0x4"},
         "from CLIPBOARD"},
        {"XTerm",
         {"press Shift_L 0x0", "press Insert 0x1", "paste PRIMARY", "release Insert 0x1", "release Shift_L 0x1"},
         "from PRIMARY"},
        {"Gedit", kCtrlV, "from CLIPBOARD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wmClass);
        PasteTarget& t = focusedTarget(c.wmClass);
        const std::string wmClass = windowClass(connection(), t.window());
        ASSERT_EQ(wmClass, c.wmClass);
        const auto chord = adaptPasteKeys(keys("C+ V+ V- C-"), wmClass);
        EXPECT_EQ(injector_->inject(chord), chord.size());
        expectLog(t, 0, c.log);
        EXPECT_TRUE(waitForPaste(t, c.pasted)) << t.pasted();
    }
}

TEST_F(X11Keys, ALetterTheLayoutLacksIsLentASpareKeyAndGivenBack) {
    PasteTarget& editor = focusedTarget("Gedit");
    SelectionOwner owner(connection());
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "borrowed"}}));

    // A layout without V: its key types something else.
    Display* d = display();
    const KeyCode vKey = XKeysymToKeycode(d, XK_v);
    ASSERT_NE(vKey, 0);
    int perKeycode = 0;
    KeySym* saved = XGetKeyboardMapping(d, vKey, 1, &perKeycode);
    std::vector<KeySym> original(saved, saved + perKeycode);
    XFree(saved);
    KeySym other[2] = {XK_udiaeresis, XK_Udiaeresis};
    XChangeKeyboardMapping(d, vKey, 2, other, 1);
    auto layoutHasV = [&] {
        settle();
        return XKeysymToKeycode(d, XK_v) != 0;
    };
    ASSERT_TRUE(runUntil([&] { return !layoutHasV(); }));

    EXPECT_EQ(injector_->inject(keys("C+ V+ V- C-")), 4u);
    expectLog(editor, 0, kCtrlV);
    EXPECT_TRUE(waitForPaste(editor, "borrowed"));
    // The spare key is given back once the paste is long over.
    EXPECT_TRUE(layoutHasV());
    EXPECT_TRUE(runUntil([&] { return !layoutHasV(); }));

    XChangeKeyboardMapping(d, vKey, perKeycode, original.data(), 1);
    XSync(d, False);
}

TEST_F(X11Keys, ASequenceWithAKeyWeCannotTypeInjectsNothing) {
    PasteTarget& editor = focusedTarget("Gedit");
    EXPECT_EQ(injector_->inject(keys("C+ X+ X- C-")), 0u);
    EXPECT_EQ(injector_->inject(keys("")), 0u);
    // Something typed afterwards arrives alone: no Ctrl was left down.
    EXPECT_EQ(injector_->inject(keys("V+ V-")), 2u);
    expectLog(editor, 0, {"press v 0x0", "release v 0x0"});
}

}  // namespace
