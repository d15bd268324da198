#pragma once

// Injected keystrokes on X11 (the XTest extension): the engine's keyboard records, with their
// Windows virtual keys, become key presses and releases of the keys that carry the same symbols
// in the keyboard layout in use, and reach whichever window has the input focus.
//
// Virtual keys we inject: VK_CONTROL, VK_SHIFT, VK_MENU and their left and right ones, VK_LWIN,
// VK_RWIN, VK_RETURN, VK_ESCAPE, the four arrows, VK_INSERT, the letters A-Z and the digits.

#include <chrono>
#include <cstdint>
#include <span>

#include "platform/desktop_types.h"
#include "platform/x11/connection.h"

namespace platform::x11 {

// The keysym a virtual key injects (letters as their lower-case symbol, which is the key's own
// symbol; the generic modifiers as the left one); 0 for a key we do not inject.
unsigned long keysymForVirtualKey(uint32_t vk);

class KeyInjector {
public:
    // A letter the layout has no key for is put on a spare keycode for the time of the paste.
    // Programs look the symbol up when they read the event, which may be a good while after we
    // sent it, so the spare keycode keeps the symbol this long after its last use.
    static constexpr std::chrono::milliseconds kBorrowedKeyHold{500};

    explicit KeyInjector(Connection& connection);
    ~KeyInjector();  // gives a borrowed keycode back at once
    KeyInjector(const KeyInjector&) = delete;
    KeyInjector& operator=(const KeyInjector&) = delete;

    // Whether the server has XTest; without it nothing is injected.
    bool available() const { return available_; }

    // Presses and releases in the order given, as one sequence that has reached the server when
    // this returns. A release of VK_CONTROL, VK_SHIFT or VK_MENU lets go of whichever keys of the
    // pair are down (the user may hold the right one), and a later press of the same key in the
    // sequence presses those again. Returns how many records were injected: all of them, or 0
    // when XTest is missing, the connection is lost, or a key cannot be injected (unknown to us,
    // or a modifier or other non-letter the layout lacks).
    uint32_t inject(std::span<const KeyboardInput> keys);

    // Whether the key is down now. VK_CONTROL, VK_SHIFT and VK_MENU: either key of the pair.
    // False for keys we do not know and when the server cannot tell.
    bool isKeyDown(uint32_t vk) const;

private:
    // The keycode that types `keysym` now, borrowing a spare one for a letter the layout lacks;
    // 0 when there is none.
    unsigned char keycodeFor(unsigned long keysym, bool mayBorrow);
    unsigned char borrowKeycode(unsigned long keysym);
    void returnBorrowedKeycode();

    Connection& connection_;
    bool available_ = false;
    Connection::HandlerId handler_ = 0;
    unsigned char spareKeycode_ = 0;  // 0 until one is found
    unsigned long borrowedKeysym_ = 0;  // what the spare keycode carries now; 0 for nothing
    EventLoop::TimerId returnTimer_ = 0;
};

}  // namespace platform::x11
