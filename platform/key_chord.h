#pragma once

// A key together with the modifiers that must be held with it: how the program names one of its
// shortcuts to a desktop whose keyboard hook sees only the keys it asks for.

#include <compare>
#include <cstdint>
#include <string>

namespace platform {

struct KeyChord {
    uint32_t vk = 0;  // a virtual key: letters and digits as their upper-case characters
    bool ctrl = false;
    bool alt = false;
    bool win = false;
    auto operator<=>(const KeyChord&) const = default;
};

// How the chord is written for the user: "Ctrl+Alt+Super+V", "Super+Up", "Escape".
std::string chordName(const KeyChord& chord);

}  // namespace platform
