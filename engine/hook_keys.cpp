#include "engine/hook_keys.h"

#include <algorithm>

#include "persist/config/option_keys.h"
#include "platform/desktop_types.h"

namespace engine {

using namespace platform;

std::vector<KeyChord> hookKeys(const cmn::option<int>& o, bool picking) {
    std::vector<KeyChord> keys;
    auto add = [&](uint32_t vk, const KeyChord& modifiers) {
        KeyChord chord = modifiers;
        chord.vk = vk;
        if (std::find(keys.begin(), keys.end(), chord) == keys.end()) keys.push_back(chord);
    };
    if (o.getBool(kOptPopupShortcutEnabled, true)) {
        const KeyChord popup{0, o.getBool(kOptPopupShortcutCtrl, false), o.getBool(kOptPopupShortcutAlt, false),
                             o.getBool(kOptPopupShortcutWin, true)};
        add(static_cast<unsigned char>(o.getChar(kOptPopupShortcutKey, 'V')), popup);
        add(static_cast<unsigned char>(o.getChar(kOptPlainTextShortcutKey, 'B')), popup);
        if (picking)
            for (uint32_t vk : {VK_UP, VK_DOWN, VK_RETURN, VK_ESCAPE}) add(vk, popup);
    }
    if (picking) add(VK_ESCAPE, KeyChord{});
    if (o.getBool(kOptFloatingKeysEnabled, true)) {
        const KeyChord floating{0, o.getBool(kOptFloatingKeysCtrl, false), o.getBool(kOptFloatingKeysAlt, false),
                                o.getBool(kOptFloatingKeysWin, true)};
        for (uint32_t vk : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN}) add(vk, floating);
    }
    return keys;
}

}  // namespace engine
