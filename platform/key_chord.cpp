#include "platform/key_chord.h"

#include "platform/desktop_types.h"

namespace platform {

namespace {

std::string keyName(uint32_t vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
    switch (vk) {
        case VK_RETURN: return "Enter";
        case VK_ESCAPE: return "Escape";
        case VK_LEFT: return "Left";
        case VK_UP: return "Up";
        case VK_RIGHT: return "Right";
        case VK_DOWN: return "Down";
        case VK_INSERT: return "Insert";
        default: return "key " + std::to_string(vk);
    }
}

}  // namespace

std::string chordName(const KeyChord& chord) {
    std::string name;
    if (chord.ctrl) name += "Ctrl+";
    if (chord.alt) name += "Alt+";
    // The key Windows keyboards label with their logo; X and the Linux desktops call it Super.
    if (chord.win) name += "Super+";
    return name + keyName(chord.vk);
}

}  // namespace platform
