#pragma once

// The chords the keyboard hook has to see for the program's shortcuts, for desktops whose hook
// sees only the keys it asks for. Read from the options at the moment they are asked for.

#include <vector>

#include "persist/config/option.h"
#include "platform/key_chord.h"

namespace engine {

// The popup key and the plain-text key with the popup modifiers (option 0 on); Up, Down, Left,
// Right and Enter with the floating modifiers (option 4 on). While a picking window (popup or
// menu window) is shown (`picking`), also Up, Down, Enter and Escape with the popup modifiers,
// and Escape alone. No chord twice.
std::vector<platform::KeyChord> hookKeys(const cmn::option<int>& options, bool picking);

}  // namespace engine
