#include "engine/keyboard_hook.h"

#include "persist/config/option_keys.h"
#include "platform/desktop_types.h"

namespace engine {

using namespace platform;

bool deferredCtrlV = false;

bool reachesDispatch(int code, uint32_t flags) {
    return code == HC_ACTION && (flags & LLKHF_INJECTED) == 0;
}

bool isKeyMessage(uint32_t message) {
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_KEYUP ||
           message == WM_SYSKEYUP;
}

bool isKeyDownMessage(uint32_t message) {
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
}

ModifierState readModifiers(const std::function<bool(uint32_t vk)>& isDown) {
    ModifierState m;
    m.ctrl = isDown(VK_LCONTROL) || isDown(VK_RCONTROL);
    m.alt = isDown(VK_LMENU) || isDown(VK_RMENU);
    m.win = isDown(VK_LWIN) || isDown(VK_RWIN);
    m.shift = isDown(VK_LSHIFT) || isDown(VK_RSHIFT);
    return m;
}

ShortcutMatches matchShortcuts(const ModifierState& m, const cmn::option<int>& o) {
    ShortcutMatches matches;
    matches.popup = o.getBool(kOptPopupShortcutEnabled, true) && !m.shift &&
                    m.ctrl == o.getBool(kOptPopupShortcutCtrl, false) &&
                    m.alt == o.getBool(kOptPopupShortcutAlt, false) &&
                    m.win == o.getBool(kOptPopupShortcutWin, true);
    matches.floating = o.getBool(kOptFloatingKeysEnabled, true) && !m.shift &&
                       m.ctrl == o.getBool(kOptFloatingKeysCtrl, false) &&
                       m.alt == o.getBool(kOptFloatingKeysAlt, false) &&
                       m.win == o.getBool(kOptFloatingKeysWin, true);
    return matches;
}

bool armsChainCheck(uint32_t message, uint32_t vk, const ModifierState& m,
                    const cmn::option<int>& o) {
    return isKeyDownMessage(message) && vk == 'C' && m.ctrl && !m.alt && !m.win && !m.shift &&
           o.getBool(kOptRecording, true);
}

bool popupShortcutIsCtrlV(const cmn::option<int>& o) {
    return o.getBool(kOptPopupShortcutCtrl, false) && !o.getBool(kOptPopupShortcutAlt, false) &&
           !o.getBool(kOptPopupShortcutWin, true) && o.getChar(kOptPopupShortcutKey, 'V') == 'V';
}

CtrlVStep deferredCtrlVOnPopupKey(bool& deferred, uint32_t vk, const ModifierState& m) {
    if (vk == 'V' && m.ctrl && !m.win && !m.alt && !deferred) {
        deferred = true;
        return CtrlVStep::HoldBack;
    }
    deferred = false;
    return CtrlVStep::OpenPopup;
}

CtrlVStep deferredCtrlVOnKeyUp(bool& deferred, uint32_t vk) {
    const bool modifier = vk == VK_LCONTROL || vk == VK_RCONTROL || vk == VK_LMENU ||
                          vk == VK_RMENU || vk == VK_LWIN || vk == VK_RWIN;
    if (!modifier || !deferred) return CtrlVStep::NotInvolved;
    deferred = false;
    return CtrlVStep::DeliverPaste;
}

}  // namespace engine
