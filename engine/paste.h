#pragma once

#include <string_view>
#include <vector>

#include "platform/desktop_types.h"

namespace engine {

// How a paste reaches the focused window.
enum class PasteDelivery {
    PasteMessage,  // a known edit control: WM_PASTE
    PasteCommand,  // our own test window class: WM_COMMAND with the Paste command
    Keystrokes,    // anything else: injected Ctrl+V
};
PasteDelivery deliveryForClass(std::u16string_view className);

// Ctrl+V as one uninterrupted sequence that leaves the modifiers as the user holds them: Alt is
// let go around it, Ctrl pressed only when it is not held already. Shift and the Windows keys
// stay as they are.
std::vector<platform::KeyboardInput> pasteKeystrokes(bool ctrlDown, bool altDown);

}  // namespace engine
