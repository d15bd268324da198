#pragma once

// The decisions of the program's low-level keyboard hook, over plain values, so that they can be
// checked without a desktop. The engine feeds them from the real hook; the windows that react
// to the shortcuts get the results through engine::KeyboardDispatch.

#include <cstdint>
#include <functional>

#include "persist/config/option.h"

namespace engine {

// Which modifiers are held, left or right. Read before the event takes effect: at the release
// of a modifier, that modifier still counts as held.
struct ModifierState {
    bool ctrl = false;
    bool alt = false;
    bool win = false;
    bool shift = false;
    bool operator==(const ModifierState&) const = default;
};

// Whether the held modifiers are exactly those of the popup shortcut and of the floating
// window's keys.
struct ShortcutMatches {
    bool popup = false;
    bool floating = false;
    bool operator==(const ShortcutMatches&) const = default;
};

struct KeyEvent {
    uint32_t message = 0;  // WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP or WM_SYSKEYUP
    uint32_t vk = 0;
    ModifierState modifiers;
    ShortcutMatches matches;
};

// False for events the hook passes on untouched: hook codes other than HC_ACTION and events a
// program injected (our own pastes among them).
bool reachesDispatch(int code, uint32_t flags);
bool isKeyMessage(uint32_t message);
bool isKeyDownMessage(uint32_t message);

// Asks for each of the left and right keys.
ModifierState readModifiers(const std::function<bool(uint32_t vk)>& isDown);

// Popup keys: option 0 on, Shift up, Ctrl, Alt and Win as options 1, 2 and 25. Floating keys:
// option 4 on, Shift up, Ctrl, Alt and Win as options 5, 6 and 26. Read now, never cached.
ShortcutMatches matchShortcuts(const ModifierState& modifiers, const cmn::option<int>& options);

// A key-down of C with Ctrl alone held, while recording (option 18) is on, arms the chain
// check. The event still goes on, so the program the user copies in still copies.
bool armsChainCheck(uint32_t message, uint32_t vk, const ModifierState& modifiers,
                    const cmn::option<int>& options);

// The popup shortcut is exactly Ctrl+V: option 1 on, options 2 and 25 off, option 3 'V'.
bool popupShortcutIsCtrlV(const cmn::option<int>& options);

// Ctrl+V as the popup shortcut keeps its ordinary meaning for a single press: the first V is
// held back, releasing the modifiers then pastes the clipboard as it is, and a second V while
// Ctrl is still held opens the popup instead.
//
// Set while a first V is held back; process-wide, owned by the keyboard dispatch.
extern bool deferredCtrlV;

enum class CtrlVStep {
    NotInvolved,   // nothing to do with the held-back V
    HoldBack,      // swallow the key and show nothing
    OpenPopup,     // show the popup
    DeliverPaste,  // paste whatever is on the clipboard, without writing it
};

// At a key-down of the popup key while the popup keys are active and the popup is hidden.
CtrlVStep deferredCtrlVOnPopupKey(bool& deferred, uint32_t vk, const ModifierState& modifiers);
// At a key-up while the popup keys are active; only the release of left or right Ctrl, Alt or
// Win can deliver the held-back paste.
CtrlVStep deferredCtrlVOnKeyUp(bool& deferred, uint32_t vk);

}  // namespace engine
