#pragma once

// The keyboard hook of the X11 desktop. X has no hook that sees every key before the programs
// do, and grabbing the whole keyboard would tell the focused program it lost the focus. So the
// hook asks for the chords it acts on: a passive grab of each on the root window, for every
// combination of the lock modifiers (Caps Lock, Num Lock, Scroll Lock) that may be on besides.
// The grabs are synchronous: the keyboard stands still until the hook procedure has decided,
// and an event it lets go on is replayed to the focused program as if nobody had grabbed it.
//
// Modifier releases are not grabbed (the program in front needs them); the keyboard extension's
// state notifications report them, as key-ups of Ctrl, Alt or Win, to the procedure.
//
// Our own injected keystrokes: the engine removes the hook before it injects and installs it
// after. Everything the server did before the grabs were set again (its events carry an older
// request serial) is dropped, so the injected keys never reach the procedure, and the keyboard
// is let go at removal so the injected keys reach the program instead of us.

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "platform/desktop_types.h"
#include "platform/key_chord.h"
#include "platform/x11/connection.h"

union _XEvent;

namespace platform::x11 {

class KeyboardGrabs {
public:
    explicit KeyboardGrabs(Connection& connection);
    ~KeyboardGrabs();
    KeyboardGrabs(const KeyboardGrabs&) = delete;
    KeyboardGrabs& operator=(const KeyboardGrabs&) = delete;

    // The chords to grab; grabbed at once when the hook is installed, else at install.
    void setKeys(std::span<const KeyChord> keys);
    // Grabs the keys and starts calling proc. False when the server lacks the keyboard extension.
    bool install(KeyboardHookProc proc);
    // Lets go of every grab, the keyboard included, and stops calling the procedure.
    void remove();
    bool installed() const { return static_cast<bool>(proc_); }

    // A chord another program holds (or the keyboard has no key for): reported once for each
    // chord refused since it was set, so that the user learns which shortcut does not work.
    void setOnRefused(std::function<void(const KeyChord&)> onRefused) { onRefused_ = std::move(onRefused); }
    // The chords asked for that are not grabbed now.
    const std::set<KeyChord>& refused() const { return refused_; }

    // While the procedure runs: whether a modifier key (left or right Ctrl, Alt, Win, Shift, or
    // the generic ones) was held before the event. Nothing for other keys or outside a call.
    std::optional<bool> heldBeforeEvent(uint32_t vk) const;

private:
    struct Masks {
        unsigned alt = 0, win = 0, numLock = 0, scrollLock = 0;
    };

    struct Grabbed {
        unsigned keycode = 0;
        std::vector<unsigned> masks;
    };

    void readMasks();
    void reportRefused();
    void onEvent(const _XEvent& event);
    void onKey(const _XEvent& event);
    void onModifierState(const _XEvent& event);
    intptr_t call(uint32_t message, uint32_t vk, unsigned keycode, unsigned long time, unsigned state);
    // Grabs the chords with one round trip to the server, noting which ones it refused.
    void grab(const std::vector<KeyChord>& chords);
    void ungrab(const KeyChord& chord);
    void grabAll();
    // The modifier masks of one chord, with each combination of lock modifiers; empty when the
    // layout has no key for a modifier it needs.
    std::vector<unsigned> variants(const KeyChord& chord) const;

    Connection& connection_;
    Connection::HandlerId handler_ = 0;
    int xkbEventBase_ = -1;  // -1: no keyboard extension
    Masks masks_;
    std::vector<KeyChord> keys_;
    std::set<KeyChord> refused_;
    std::set<KeyChord> reported_;
    std::map<KeyChord, Grabbed> grabbed_;
    KeyboardHookProc proc_;
    // The first request sent after the grabs were set: older events are not ours to act on.
    unsigned long armedSerial_ = 0;
    unsigned activeKeycode_ = 0;  // the key whose press activated the grab in force; 0 for none
    unsigned modifiers_ = 0;
    bool modifiersKnown_ = false;  // the effective modifiers as the last state notification left them
    std::optional<unsigned> eventState_;
    std::function<void(const KeyChord&)> onRefused_;
};

}  // namespace platform::x11
