#include "platform/x11/key_injector.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace platform::x11 {

namespace {

struct ModifierPair {
    uint32_t vk;
    KeySym left, right;
};

constexpr std::array kPairs{
    ModifierPair{VK_CONTROL, XK_Control_L, XK_Control_R},
    ModifierPair{VK_SHIFT, XK_Shift_L, XK_Shift_R},
    ModifierPair{VK_MENU, XK_Alt_L, XK_Alt_R},
};

const ModifierPair* pairOf(uint32_t vk) {
    for (const ModifierPair& p : kPairs)
        if (p.vk == vk) return &p;
    return nullptr;
}

// The right-hand key of a pair, for the layouts that put something else there (AltGr).
KeySym leftOf(KeySym sym) {
    for (const ModifierPair& p : kPairs)
        if (p.right == sym) return p.left;
    if (sym == XK_Super_R) return XK_Super_L;
    return NoSymbol;
}

bool isLetter(KeySym sym) { return sym >= XK_a && sym <= XK_z; }

// The keyboard mapping: which keycodes carry a symbol at any level.
class KeyboardMapping {
public:
    explicit KeyboardMapping(Display* d) {
        XDisplayKeycodes(d, &min_, &max_);
        KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(min_), max_ - min_ + 1, &perKeycode_);
        if (syms) {
            syms_.assign(syms, syms + static_cast<size_t>(max_ - min_ + 1) * perKeycode_);
            XFree(syms);
        } else {
            perKeycode_ = 0;
        }
    }

    std::vector<KeyCode> keycodesOf(std::initializer_list<KeySym> wanted) const {
        std::vector<KeyCode> out;
        for (int code = min_; perKeycode_ > 0 && code <= max_; ++code) {
            const KeySym* row = &syms_[static_cast<size_t>(code - min_) * perKeycode_];
            if (std::any_of(row, row + perKeycode_, [&](KeySym s) {
                    return s != NoSymbol && std::find(wanted.begin(), wanted.end(), s) != wanted.end();
                }))
                out.push_back(static_cast<KeyCode>(code));
        }
        return out;
    }

    // A keycode without any symbol, the highest one (the least likely to be in use); 0 for none.
    KeyCode spare() const {
        for (int code = max_; perKeycode_ > 0 && code >= min_; --code) {
            const KeySym* row = &syms_[static_cast<size_t>(code - min_) * perKeycode_];
            if (std::all_of(row, row + perKeycode_, [](KeySym s) { return s == NoSymbol; }))
                return static_cast<KeyCode>(code);
        }
        return 0;
    }

private:
    int min_ = 0, max_ = 0, perKeycode_ = 0;
    std::vector<KeySym> syms_;
};

bool isDown(const char (&keys)[32], KeyCode code) { return (keys[code / 8] >> (code % 8)) & 1; }

}  // namespace

unsigned long keysymForVirtualKey(uint32_t vk) {
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    switch (vk) {
        case VK_CONTROL:
        case VK_LCONTROL: return XK_Control_L;
        case VK_RCONTROL: return XK_Control_R;
        case VK_SHIFT:
        case VK_LSHIFT: return XK_Shift_L;
        case VK_RSHIFT: return XK_Shift_R;
        case VK_MENU:
        case VK_LMENU: return XK_Alt_L;
        case VK_RMENU: return XK_Alt_R;
        case VK_LWIN: return XK_Super_L;
        case VK_RWIN: return XK_Super_R;
        case VK_RETURN: return XK_Return;
        case VK_ESCAPE: return XK_Escape;
        case VK_LEFT: return XK_Left;
        case VK_UP: return XK_Up;
        case VK_RIGHT: return XK_Right;
        case VK_DOWN: return XK_Down;
        case VK_INSERT: return XK_Insert;
        default: return NoSymbol;
    }
}

KeyInjector::KeyInjector(Connection& connection) : connection_(connection) {
    if (connection_.lost()) return;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    available_ = XTestQueryExtension(connection_.display(), &eventBase, &errorBase, &major, &minor);
    // Xlib answers XKeysymToKeycode from its copy of the mapping, which it renews only when told.
    handler_ = connection_.addEventHandler([](const XEvent& e) {
        if (e.type == MappingNotify) {
            XMappingEvent mapping = e.xmapping;
            XRefreshKeyboardMapping(&mapping);
        }
    });
    connection_.flush();
}

KeyInjector::~KeyInjector() {
    connection_.removeEventHandler(handler_);
    returnBorrowedKeycode();
}

uint32_t KeyInjector::inject(std::span<const KeyboardInput> keys) {
    if (!available_ || connection_.lost() || keys.empty()) return 0;
    Display* d = connection_.display();

    // Every key is looked up before the first is sent: half a chord would leave a modifier down.
    std::vector<KeyCode> codes;
    for (const KeyboardInput& k : keys) {
        const KeySym sym = keysymForVirtualKey(k.vk);
        const KeyCode code = sym == NoSymbol ? 0 : keycodeFor(sym, isLetter(sym));
        if (code == 0) {
            connection_.flush();
            return 0;
        }
        codes.push_back(code);
    }

    std::map<uint32_t, std::vector<KeyCode>> letGo;  // per generic modifier, the keys it released
    for (size_t i = 0; i < keys.size(); ++i) {
        const bool release = (keys[i].flags & KEYEVENTF_KEYUP) != 0;
        std::vector<KeyCode> sent{codes[i]};
        if (const ModifierPair* pair = pairOf(keys[i].vk)) {
            if (release) {
                char state[32];
                XQueryKeymap(d, state);  // sees what we sent before: the server reads in order
                std::vector<KeyCode> down;
                for (KeyCode c : KeyboardMapping(d).keycodesOf({pair->left, pair->right}))
                    if (isDown(state, c)) down.push_back(c);
                if (!down.empty()) sent = down;
                letGo[pair->vk] = sent;
            } else if (auto it = letGo.find(pair->vk); it != letGo.end()) {
                sent = it->second;
                letGo.erase(it);
            }
        }
        for (KeyCode c : sent) XTestFakeKeyEvent(d, c, release ? False : True, CurrentTime);
    }
    XSync(d, False);
    connection_.flush();
    return static_cast<uint32_t>(keys.size());
}

bool KeyInjector::isKeyDown(uint32_t vk) const {
    if (connection_.lost()) return false;
    const KeySym sym = keysymForVirtualKey(vk);
    if (sym == NoSymbol) return false;
    Display* d = connection_.display();
    const KeyboardMapping mapping(d);
    const ModifierPair* pair = pairOf(vk);
    const auto codes = pair ? mapping.keycodesOf({pair->left, pair->right}) : mapping.keycodesOf({sym});
    char state[32];
    XQueryKeymap(d, state);
    connection_.flush();
    return std::any_of(codes.begin(), codes.end(), [&](KeyCode c) { return isDown(state, c); });
}

unsigned char KeyInjector::keycodeFor(unsigned long keysym, bool mayBorrow) {
    Display* d = connection_.display();
    if (keysym == borrowedKeysym_ && spareKeycode_ != 0) return borrowKeycode(keysym);
    if (const KeyCode code = XKeysymToKeycode(d, keysym)) return code;
    if (const KeySym left = leftOf(keysym); left != NoSymbol) return XKeysymToKeycode(d, left);
    return mayBorrow ? borrowKeycode(keysym) : 0;
}

unsigned char KeyInjector::borrowKeycode(unsigned long keysym) {
    Display* d = connection_.display();
    // Looked for anew each time we start borrowing: another program may have taken ours.
    if (borrowedKeysym_ == NoSymbol) spareKeycode_ = KeyboardMapping(d).spare();
    if (spareKeycode_ == 0) return 0;
    if (borrowedKeysym_ != keysym) {
        KeySym lower = NoSymbol, upper = NoSymbol;
        XConvertCase(keysym, &lower, &upper);
        KeySym syms[2] = {lower, upper};
        XChangeKeyboardMapping(d, spareKeycode_, 2, syms, 1);
        borrowedKeysym_ = keysym;
    }
    if (returnTimer_ != 0) connection_.loop().cancelTimer(returnTimer_);
    returnTimer_ = connection_.loop().startTimer(kBorrowedKeyHold, [this] {
        returnTimer_ = 0;
        returnBorrowedKeycode();
    });
    return spareKeycode_;
}

void KeyInjector::returnBorrowedKeycode() {
    if (returnTimer_ != 0) {
        connection_.loop().cancelTimer(returnTimer_);
        returnTimer_ = 0;
    }
    if (borrowedKeysym_ == NoSymbol || spareKeycode_ == 0) return;
    borrowedKeysym_ = NoSymbol;
    if (connection_.lost()) return;
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(connection_.display(), spareKeycode_, 1, &none, 1);
    connection_.flush();
}

}  // namespace platform::x11
