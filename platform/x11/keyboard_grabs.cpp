#include "platform/x11/keyboard_grabs.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>

#include "platform/x11/key_injector.h"

namespace platform::x11 {

namespace {

uint32_t virtualKeyOf(KeySym sym) {
    if (sym >= XK_a && sym <= XK_z) return static_cast<uint32_t>('A' + (sym - XK_a));
    if (sym >= XK_A && sym <= XK_Z) return static_cast<uint32_t>('A' + (sym - XK_A));
    if (sym >= XK_0 && sym <= XK_9) return static_cast<uint32_t>('0' + (sym - XK_0));
    switch (sym) {
        case XK_Return:
        case XK_KP_Enter: return VK_RETURN;
        case XK_Escape: return VK_ESCAPE;
        case XK_Left: return VK_LEFT;
        case XK_Up: return VK_UP;
        case XK_Right: return VK_RIGHT;
        case XK_Down: return VK_DOWN;
        case XK_Insert: return VK_INSERT;
        case XK_Control_L: return VK_LCONTROL;
        case XK_Control_R: return VK_RCONTROL;
        case XK_Alt_L:
        case XK_Meta_L: return VK_LMENU;
        case XK_Alt_R:
        case XK_Meta_R: return VK_RMENU;
        case XK_Super_L: return VK_LWIN;
        case XK_Super_R: return VK_RWIN;
        case XK_Shift_L: return VK_LSHIFT;
        case XK_Shift_R: return VK_RSHIFT;
        default: return 0;
    }
}

bool isModifierKey(uint32_t vk) {
    return vk == VK_LCONTROL || vk == VK_RCONTROL || vk == VK_LMENU || vk == VK_RMENU || vk == VK_LWIN ||
           vk == VK_RWIN || vk == VK_LSHIFT || vk == VK_RSHIFT;
}

bool isHeldModifier(uint32_t vk) { return isModifierKey(vk) && vk != VK_LSHIFT && vk != VK_RSHIFT; }

KeySym keysymOf(Display* d, unsigned keycode) { return XkbKeycodeToKeysym(d, static_cast<KeyCode>(keycode), 0, 0); }

// Collects the serials of the requests that fail while it lives, and hands every error on to
// the handler that was there before (the connection counts them). Xlib's error handler is one
// for the process; everything here runs on the one thread that uses Xlib.
class ErrorTrap {
public:
    explicit ErrorTrap(std::vector<unsigned long>& failed) {
        sink_ = &failed;
        previous_ = XSetErrorHandler(&ErrorTrap::onError);
    }
    ~ErrorTrap() {
        XSetErrorHandler(previous_);
        sink_ = nullptr;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

private:
    static int onError(Display* d, XErrorEvent* e) {
        if (sink_) sink_->push_back(e->serial);
        return previous_ ? previous_(d, e) : 0;
    }
    static inline std::vector<unsigned long>* sink_ = nullptr;
    static inline XErrorHandler previous_ = nullptr;
};

}  // namespace

KeyboardGrabs::KeyboardGrabs(Connection& connection) : connection_(connection) {
    if (connection_.lost()) return;
    Display* d = connection_.display();
    int opcode = 0, eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(d, &opcode, &eventBase, &errorBase, &major, &minor)) {
        xkbEventBase_ = eventBase;
        XkbSelectEventDetails(d, XkbUseCoreKbd, XkbStateNotify, XkbModifierStateMask, XkbModifierStateMask);
    }
    readMasks();
    handler_ = connection_.addEventHandler([this](const XEvent& e) { onEvent(e); });
    connection_.flush();
}

KeyboardGrabs::~KeyboardGrabs() {
    connection_.removeEventHandler(handler_);
    remove();
}

void KeyboardGrabs::readMasks() {
    masks_ = {};
    Display* d = connection_.display();
    XModifierKeymap* map = XGetModifierMapping(d);
    if (!map) return;
    // Mod1 to Mod5; Shift, Lock and Control are fixed.
    for (int mod = Mod1MapIndex; mod <= Mod5MapIndex; ++mod) {
        const unsigned bit = 1u << mod;
        for (int k = 0; k < map->max_keypermod; ++k) {
            const KeyCode code = map->modifiermap[mod * map->max_keypermod + k];
            if (code == 0) continue;
            switch (keysymOf(d, code)) {
                case XK_Alt_L:
                case XK_Alt_R:
                case XK_Meta_L:
                case XK_Meta_R:
                    if (masks_.alt == 0) masks_.alt = bit;
                    break;
                case XK_Super_L:
                case XK_Super_R:
                    if (masks_.win == 0) masks_.win = bit;
                    break;
                case XK_Num_Lock: masks_.numLock = bit; break;
                case XK_Scroll_Lock: masks_.scrollLock = bit; break;
                default: break;
            }
        }
    }
    XFreeModifiermap(map);
}

std::vector<unsigned> KeyboardGrabs::variants(const KeyChord& chord) const {
    unsigned base = chord.ctrl ? ControlMask : 0;
    if (chord.alt) {
        if (masks_.alt == 0) return {};
        base |= masks_.alt;
    }
    if (chord.win) {
        if (masks_.win == 0) return {};
        base |= masks_.win;
    }
    // Whichever lock is on, the chord is the same chord to the user.
    std::vector<unsigned> locks{LockMask};
    for (unsigned m : {masks_.numLock, masks_.scrollLock})
        if (m != 0 && (m & base) == 0 && m != LockMask) locks.push_back(m);
    std::vector<unsigned> out;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
        unsigned mask = base;
        for (size_t i = 0; i < locks.size(); ++i)
            if (subset & (1u << i)) mask |= locks[i];
        out.push_back(mask);
    }
    return out;
}

void KeyboardGrabs::setKeys(std::span<const KeyChord> keys) {
    std::vector<KeyChord> wanted(keys.begin(), keys.end());
    const std::set<KeyChord> wantedSet(wanted.begin(), wanted.end());
    for (auto it = reported_.begin(); it != reported_.end();)
        it = wantedSet.count(*it) ? std::next(it) : reported_.erase(it);
    if (installed() && !connection_.lost()) {
        for (const KeyChord& old : keys_)
            if (!wantedSet.count(old)) ungrab(old);
        const std::set<KeyChord> had(keys_.begin(), keys_.end());
        keys_ = std::move(wanted);
        std::vector<KeyChord> added;
        for (const KeyChord& chord : keys_)
            if (!had.count(chord) || refused_.count(chord)) added.push_back(chord);
        grab(added);
        reportRefused();
        connection_.flush();
    } else {
        keys_ = std::move(wanted);
    }
    for (auto it = refused_.begin(); it != refused_.end();)
        it = wantedSet.count(*it) ? std::next(it) : refused_.erase(it);
}

bool KeyboardGrabs::install(KeyboardHookProc proc) {
    if (installed()) return true;
    if (xkbEventBase_ < 0 || connection_.lost() || !proc) return false;
    Display* d = connection_.display();
    armedSerial_ = NextRequest(d);
    // Afterwards the state notifications keep the modifiers up to date, hook or not.
    if (!modifiersKnown_) {
        XkbStateRec state;
        if (XkbGetState(d, XkbUseCoreKbd, &state) == Success) modifiers_ = state.mods;
        modifiersKnown_ = true;
    }
    proc_ = std::move(proc);
    grabAll();
    reportRefused();
    connection_.flush();
    return true;
}

void KeyboardGrabs::remove() {
    if (!installed()) return;
    proc_ = nullptr;
    if (connection_.lost()) return;
    Display* d = connection_.display();
    XUngrabKey(d, AnyKey, AnyModifier, DefaultRootWindow(d));
    grabbed_.clear();
    activeKeycode_ = 0;
    // A grab one of ours activated is still on until its key is released; keys injected now
    // would come to us instead of the program in front.
    XUngrabKeyboard(d, CurrentTime);
    connection_.flush();
}

void KeyboardGrabs::grabAll() { grab(keys_); }

void KeyboardGrabs::grab(const std::vector<KeyChord>& chords) {
    if (chords.empty()) return;
    Display* d = connection_.display();
    struct Sent {
        KeyChord chord;
        unsigned long first, end;  // the serials of its requests
    };
    std::vector<Sent> sent;
    for (const KeyChord& chord : chords) {
        const KeySym sym = keysymForVirtualKey(chord.vk);
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(d, sym);
        const std::vector<unsigned> masks = variants(chord);
        if (code == 0 || masks.empty()) {
            refused_.insert(chord);
            continue;
        }
        const unsigned long first = NextRequest(d);
        for (unsigned mask : masks)
            XGrabKey(d, code, mask, DefaultRootWindow(d), False, GrabModeAsync, GrabModeSync);
        sent.push_back({chord, first, NextRequest(d)});
        grabbed_[chord] = {code, masks};
    }
    // Errors come back later, by the serial of the request that failed: one round trip tells
    // which chords another program holds.
    std::vector<unsigned long> failed;
    {
        ErrorTrap trap(failed);
        XSync(d, False);
    }
    for (const Sent& s : sent) {
        const bool refused = std::any_of(failed.begin(), failed.end(),
                                         [&](unsigned long serial) { return serial >= s.first && serial < s.end; });
        if (refused) refused_.insert(s.chord);
        else refused_.erase(s.chord);
    }
}

void KeyboardGrabs::ungrab(const KeyChord& chord) {
    auto it = grabbed_.find(chord);
    if (it == grabbed_.end()) return;
    Display* d = connection_.display();
    for (unsigned mask : it->second.masks) XUngrabKey(d, it->second.keycode, mask, DefaultRootWindow(d));
    grabbed_.erase(it);
}

void KeyboardGrabs::reportRefused() {
    for (const KeyChord& chord : refused_) {
        if (!reported_.insert(chord).second) continue;
        if (onRefused_) onRefused_(chord);
    }
}

std::optional<bool> KeyboardGrabs::heldBeforeEvent(uint32_t vk) const {
    if (!eventState_) return std::nullopt;
    const unsigned s = *eventState_;
    switch (vk) {
        case VK_CONTROL:
        case VK_LCONTROL:
        case VK_RCONTROL: return (s & ControlMask) != 0;
        case VK_SHIFT:
        case VK_LSHIFT:
        case VK_RSHIFT: return (s & ShiftMask) != 0;
        case VK_MENU:
        case VK_LMENU:
        case VK_RMENU: return masks_.alt != 0 && (s & masks_.alt) != 0;
        case VK_LWIN:
        case VK_RWIN: return masks_.win != 0 && (s & masks_.win) != 0;
        default: return std::nullopt;
    }
}

void KeyboardGrabs::onEvent(const XEvent& e) {
    if (e.type == MappingNotify) {
        // Keys may sit on other keycodes now, and modifiers on other bits: grab anew.
        XMappingEvent mapping = e.xmapping;
        XRefreshKeyboardMapping(&mapping);
        readMasks();
        if (installed() && !connection_.lost()) {
            Display* d = connection_.display();
            XUngrabKey(d, AnyKey, AnyModifier, DefaultRootWindow(d));
            grabbed_.clear();
            grabAll();
            reportRefused();
            connection_.flush();
        }
    } else if (e.type == KeyPress || e.type == KeyRelease) {
        onKey(e);
    } else if (xkbEventBase_ >= 0 && e.type == xkbEventBase_ &&
               reinterpret_cast<const XkbAnyEvent&>(e).xkb_type == XkbStateNotify) {
        onModifierState(e);
    }
}

void KeyboardGrabs::onKey(const XEvent& e) {
    const XKeyEvent& k = e.xkey;
    Display* d = connection_.display();
    if (k.window != DefaultRootWindow(d)) return;
    // Older events came while nothing was grabbed, or from grabs the removal let go of.
    if (!installed() || k.serial < armedSerial_) return;
    const bool press = e.type == KeyPress;
    // Only the press that activates a grab holds the keyboard still, and only it may be replayed:
    // an answer to any other event could reach the server after the next grab froze the
    // keyboard, and replay that one instead. The grab lasts until its key is released.
    const bool activating = press && activeKeycode_ == 0;
    if (activating) activeKeycode_ = k.keycode;
    else if (!press && k.keycode == activeKeycode_) activeKeycode_ = 0;
    auto answer = [&](bool swallow) {
        if (!activating || connection_.lost()) return;
        // A replayed press ends the grab: its release goes to the program, not to us.
        if (!swallow) activeKeycode_ = 0;
        XAllowEvents(d, swallow ? AsyncKeyboard : ReplayKeyboard, k.time);
        connection_.flush();
    };
    const uint32_t vk = virtualKeyOf(keysymOf(d, k.keycode));
    // Modifier keys come as state notifications, whether a grab of ours is active or not.
    if (vk == 0 || isModifierKey(vk)) return answer(true);
    const bool alt = masks_.alt != 0 && (k.state & masks_.alt) != 0;
    const uint32_t message = press ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    answer(call(message, vk, k.keycode, k.time, k.state) != 0);
}

void KeyboardGrabs::onModifierState(const XEvent& e) {
    const auto& s = reinterpret_cast<const XkbStateNotifyEvent&>(e);
    const unsigned before = modifiers_;
    modifiers_ = s.mods;
    if (!installed() || s.serial < armedSerial_ || s.event_type != KeyRelease) return;
    const uint32_t vk = virtualKeyOf(keysymOf(connection_.display(), s.keycode));
    if (!isHeldModifier(vk)) return;
    const bool alt = masks_.alt != 0 && (before & masks_.alt) != 0;
    call(alt ? WM_SYSKEYUP : WM_KEYUP, vk, s.keycode, s.time, before);
}

intptr_t KeyboardGrabs::call(uint32_t message, uint32_t vk, unsigned keycode, unsigned long time, unsigned state) {
    KeyboardEvent event;
    event.vkCode = vk;
    event.scanCode = keycode;
    event.time = static_cast<uint32_t>(time);
    // The procedure may remove the hook (a paste does).
    KeyboardHookProc proc = proc_;
    eventState_ = state;
    const intptr_t result = proc(HC_ACTION, message, event);
    eventState_.reset();
    return result;
}

}  // namespace platform::x11
