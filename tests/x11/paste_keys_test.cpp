// The paste chord for terminals: which classes get which chord, and how the engine's Ctrl+V
// sequence becomes it with every modifier rule kept.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/x11/paste_keys.h"

namespace {

using platform::KeyboardInput;
using namespace platform::x11;

// "C+ V+ V- C-": Ctrl down, V down, V up, Ctrl up. C Ctrl, A Alt, S Shift, I Insert, V, R Return.
std::vector<KeyboardInput> keys(const std::string& text) {
    std::vector<KeyboardInput> out;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        KeyboardInput k;
        switch (token[0]) {
            case 'C': k.vk = platform::VK_CONTROL; break;
            case 'A': k.vk = platform::VK_MENU; break;
            case 'S': k.vk = platform::VK_SHIFT; break;
            case 'I': k.vk = platform::VK_INSERT; break;
            case 'R': k.vk = platform::VK_RETURN; break;
            default: k.vk = static_cast<uint16_t>(token[0]); break;
        }
        if (token[1] == '-') k.flags = platform::KEYEVENTF_KEYUP;
        k.extraInfo = 0x51;  // the engine's mark on its own input must survive
        out.push_back(k);
    }
    return out;
}

std::string text(const std::vector<KeyboardInput>& records) {
    std::string out;
    for (const KeyboardInput& k : records) {
        if (!out.empty()) out += ' ';
        switch (k.vk) {
            case platform::VK_CONTROL: out += 'C'; break;
            case platform::VK_MENU: out += 'A'; break;
            case platform::VK_SHIFT: out += 'S'; break;
            case platform::VK_INSERT: out += 'I'; break;
            case platform::VK_RETURN: out += 'R'; break;
            default: out += static_cast<char>(k.vk); break;
        }
        out += (k.flags & platform::KEYEVENTF_KEYUP) ? '-' : '+';
        if (k.extraInfo != 0x51) out += '?';
    }
    return out;
}

TEST(PasteKeys, ChordByWindowClassIgnoringCase) {
    struct Case {
        const char* wmClass;
        PasteChord chord;
    } cases[] = {
        {"XTerm", PasteChord::ShiftInsert},          {"uxterm", PasteChord::ShiftInsert},
        {"URxvt", PasteChord::ShiftInsert},          {"Gnome-terminal", PasteChord::CtrlShiftV},
        {"konsole", PasteChord::CtrlShiftV},         {"kitty", PasteChord::CtrlShiftV},
        {"ALACRITTY", PasteChord::CtrlShiftV},       {"Xfce4-terminal", PasteChord::CtrlShiftV},
        {"Tilix", PasteChord::CtrlShiftV},           {"st-256color", PasteChord::CtrlShiftV},
        {"St", PasteChord::CtrlShiftV},              {"foot", PasteChord::CtrlShiftV},
        {"Gedit", PasteChord::CtrlV},                {"firefox", PasteChord::CtrlV},
        {"", PasteChord::CtrlV},                     {"XTerm2", PasteChord::CtrlV},
        {"stx", PasteChord::CtrlV},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pasteChord(c.wmClass), c.chord) << c.wmClass;
        EXPECT_EQ(pastesPrimary(c.wmClass), c.chord == PasteChord::ShiftInsert) << c.wmClass;
    }
}

TEST(PasteKeys, EngineSequencesBecomeTheChord) {
    struct Case {
        const char* wmClass;
        const char* engine;
        const char* expected;
    } cases[] = {
        // Not a terminal: unchanged.
        {"Gedit", "C+ V+ V- C-", "C+ V+ V- C-"},
        {"Gedit", "A- C+ V+ V- C- A+", "A- C+ V+ V- C- A+"},
        // Ctrl+Shift+V: Shift right around V; the Ctrl and Alt rules stay as they were.
        {"kitty", "C+ V+ V- C-", "C+ S+ V+ V- S- C-"},
        {"kitty", "V+ V-", "S+ V+ V- S-"},
        {"kitty", "A- C+ V+ V- C- A+", "A- C+ S+ V+ V- S- C- A+"},
        {"kitty", "A- V+ V- A+", "A- S+ V+ V- S- A+"},
        // Shift+Insert: no Ctrl of ours, and a held Ctrl let go around it like Alt.
        {"XTerm", "C+ V+ V- C-", "S+ I+ I- S-"},
        {"XTerm", "V+ V-", "C- S+ I+ I- S- C+"},
        {"XTerm", "A- C+ V+ V- C- A+", "A- S+ I+ I- S- A+"},
        {"XTerm", "A- V+ V- A+", "A- C- S+ I+ I- S- C+ A+"},
        // Not a paste sequence: left alone.
        {"kitty", "R+ R-", "R+ R-"},
        {"XTerm", "C+ V+ V- V+ V- C-", "C+ V+ V- V+ V- C-"},
        {"XTerm", "V- V+", "V- V+"},
        {"XTerm", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(adaptPasteKeys(keys(c.engine), c.wmClass)), c.expected) << c.wmClass << ": " << c.engine;
}

}  // namespace
