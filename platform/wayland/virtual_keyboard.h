#pragma once

// Typing the paste chord on compositors that offer zwp_virtual_keyboard_v1: a keyboard of the
// seat with a small keymap of our own (the modifiers, V and Insert), pressed like a physical
// one. The compositor passes the keymap and the keys to the client with the keyboard focus.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/desktop_types.h"

struct zwp_virtual_keyboard_v1;

namespace platform::wayland {

class WaylandConnection;

// The Linux input key code of a virtual key the keymap has; nothing for any other key.
std::optional<uint32_t> evdevKey(uint32_t vk);
// The XKB modifier mask a key code sets while held (Shift 1, Control 4, Mod1/Alt 8); 0 for the
// others.
uint32_t modifierMask(uint32_t evdevKey);
// The keymap uploaded to the compositor, in the XKB text format.
std::string pasteKeymap();

class VirtualKeyboard {
public:
    // Null when the compositor offers no virtual keyboard, or the keymap cannot be handed over.
    static std::unique_ptr<VirtualKeyboard> create(WaylandConnection& connection);
    ~VirtualKeyboard();
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

    // Presses and releases the keys as one sequence. False, before sending anything, when a key
    // is not in the keymap.
    bool type(std::span<const KeyboardInput> keys);

private:
    VirtualKeyboard(WaylandConnection& connection, zwp_virtual_keyboard_v1* keyboard);

    WaylandConnection& connection_;
    zwp_virtual_keyboard_v1* keyboard_;
    uint32_t modifiers_ = 0;
};

}  // namespace platform::wayland
