#include "platform/x11/paste_keys.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace platform::x11 {

namespace {

constexpr uint16_t kV = 'V';

struct ClassChord {
    std::string_view wmClass;
    PasteChord chord;
};

constexpr std::array kTerminals{
    ClassChord{"XTerm", PasteChord::ShiftInsert},         ClassChord{"UXTerm", PasteChord::ShiftInsert},
    ClassChord{"URxvt", PasteChord::ShiftInsert},         ClassChord{"Gnome-terminal", PasteChord::CtrlShiftV},
    ClassChord{"konsole", PasteChord::CtrlShiftV},        ClassChord{"kitty", PasteChord::CtrlShiftV},
    ClassChord{"Alacritty", PasteChord::CtrlShiftV},      ClassChord{"Xfce4-terminal", PasteChord::CtrlShiftV},
    ClassChord{"Tilix", PasteChord::CtrlShiftV},          ClassChord{"st", PasteChord::CtrlShiftV},
    ClassChord{"st-256color", PasteChord::CtrlShiftV},    ClassChord{"foot", PasteChord::CtrlShiftV},
    ClassChord{"footclient", PasteChord::CtrlShiftV},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool isUp(const KeyboardInput& k) { return (k.flags & KEYEVENTF_KEYUP) != 0; }
bool isCtrl(uint16_t vk) { return vk == VK_CONTROL || vk == VK_LCONTROL || vk == VK_RCONTROL; }

// The V down and V up of the paste, when the sequence has exactly one of each in that order.
std::optional<std::pair<size_t, size_t>> findV(std::span<const KeyboardInput> keys) {
    std::optional<size_t> down, up;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].vk != kV) continue;
        std::optional<size_t>& slot = isUp(keys[i]) ? up : down;
        if (slot) return std::nullopt;
        slot = i;
    }
    if (!down || !up || *up < *down) return std::nullopt;
    return std::pair{*down, *up};
}

// A record like `like` (same time and extra information, so the engine still knows it as its
// own) for another key.
KeyboardInput key(const KeyboardInput& like, uint32_t vk, bool up) {
    KeyboardInput k = like;
    k.vk = static_cast<uint16_t>(vk);
    k.scan = 0;
    k.flags = up ? (like.flags | KEYEVENTF_KEYUP) : (like.flags & ~KEYEVENTF_KEYUP);
    return k;
}

}  // namespace

PasteChord pasteChord(std::string_view wmClass) {
    for (const ClassChord& c : kTerminals)
        if (equalsIgnoringCase(c.wmClass, wmClass)) return c.chord;
    return PasteChord::CtrlV;
}

bool pastesPrimary(std::string_view wmClass) { return pasteChord(wmClass) == PasteChord::ShiftInsert; }

std::vector<KeyboardInput> adaptPasteKeys(std::span<const KeyboardInput> keys, std::string_view wmClass) {
    std::vector<KeyboardInput> out(keys.begin(), keys.end());
    const PasteChord chord = pasteChord(wmClass);
    const auto v = findV(keys);
    if (chord == PasteChord::CtrlV || !v) return out;
    const auto [down, up] = *v;
    const KeyboardInput& vDown = keys[down];
    const KeyboardInput& vUp = keys[up];

    out.clear();
    if (chord == PasteChord::CtrlShiftV) {
        out.insert(out.end(), keys.begin(), keys.begin() + down);
        out.push_back(key(vDown, VK_SHIFT, false));
        out.insert(out.end(), keys.begin() + down, keys.begin() + up + 1);
        out.push_back(key(vUp, VK_SHIFT, true));
        out.insert(out.end(), keys.begin() + up + 1, keys.end());
        return out;
    }

    // Shift+Insert. Without a Ctrl down of ours before V, the user holds Ctrl.
    const auto before = keys.subspan(0, down);
    const bool userHoldsCtrl =
        std::none_of(before.begin(), before.end(), [](const KeyboardInput& k) { return isCtrl(k.vk) && !isUp(k); });
    for (const KeyboardInput& k : before)
        if (!(isCtrl(k.vk) && !isUp(k))) out.push_back(k);
    if (userHoldsCtrl) out.push_back(key(vDown, VK_CONTROL, true));
    out.push_back(key(vDown, VK_SHIFT, false));
    out.push_back(key(vDown, VK_INSERT, false));
    out.insert(out.end(), keys.begin() + down + 1, keys.begin() + up);
    out.push_back(key(vUp, VK_INSERT, true));
    out.push_back(key(vUp, VK_SHIFT, true));
    if (userHoldsCtrl) out.push_back(key(vUp, VK_CONTROL, false));
    for (const KeyboardInput& k : keys.subspan(up + 1))
        if (!(isCtrl(k.vk) && isUp(k))) out.push_back(k);
    return out;
}

}  // namespace platform::x11
