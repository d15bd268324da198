#include "engine/shortcut_dispatch.h"

#include "persist/config/option_keys.h"
#include "platform/desktop_types.h"

namespace engine {

using namespace platform;

namespace {

bool isHeldModifier(uint32_t vk) {
    return vk == VK_LCONTROL || vk == VK_RCONTROL || vk == VK_LMENU || vk == VK_RMENU || vk == VK_LWIN ||
           vk == VK_RWIN;
}

uint32_t optionKey(const cmn::option<int>& o, int key, char fallback) {
    return static_cast<unsigned char>(o.getChar(key, fallback));
}

}  // namespace

ShortcutDispatch::ShortcutDispatch(const cmn::option<int>& options, std::function<void()> deliverPaste)
    : options_(options), deliverPaste_(std::move(deliverPaste)) {}

bool ShortcutDispatch::dispatchKey(const KeyEvent& event) {
    if (isKeyDownMessage(event.message)) return keyDown(event);
    keyUp(event);
    return false;  // a key-up always goes on
}

bool ShortcutDispatch::keyDown(const KeyEvent& e) {
    const uint32_t popupKeyVk = optionKey(options_, kOptPopupShortcutKey, 'V');
    const uint32_t plainKeyVk = optionKey(options_, kOptPlainTextShortcutKey, 'B');
    if (e.vk == popupKeyVk || e.vk == plainKeyVk) return popupKey(e, e.vk == popupKeyVk);

    switch (e.vk) {
        case VK_RETURN:
            if (e.matches.popup && popupShows()) {
                popup_->pastePopupSelection();
                return true;
            }
            if (e.matches.floating && floatingShows() && floating_->floatingExpanded()) {
                floating_->pasteFloatingSelection();
                return true;
            }
            return false;
        case VK_ESCAPE:
            // Closes what is open and still reaches the program: it may have its own use for it.
            if (popupShows()) popup_->hidePopup();
            if (menu_ && menu_->menuVisible()) menu_->hideMenu();
            return false;
        case VK_UP:
        case VK_DOWN:
            if (e.matches.popup && popupShows()) {
                popup_->selectAdjacentInPopup(e.vk == VK_DOWN);
                return true;
            }
            return floatingUpDown(e);
        case VK_RIGHT:
            if (!e.matches.floating || !floating_) return false;
            if (!floating_->floatingExpanded()) floating_->expandFloating();
            if (!floating_->floatingVisible()) floating_->showFloating();
            return true;
        case VK_LEFT:
            if (!e.matches.floating || !floatingShows()) return false;
            if (floating_->floatingExpanded()) floating_->collapseFloating();
            else floating_->hideFloating();
            return true;
        default:
            return false;
    }
}

bool ShortcutDispatch::popupKey(const KeyEvent& e, bool isPopupKey) {
    if (!e.matches.popup || !popup_) return false;
    if (popup_->popupVisible()) {
        popup_->selectAdjacentInPopup(true);
        return true;
    }
    if (!isPopupKey) {
        popup_->showPopup(true);
        return true;
    }
    if (deferredCtrlVOnPopupKey(deferredCtrlV, e.vk, e.modifiers) == CtrlVStep::HoldBack) return true;
    popup_->showPopup(false);
    return true;
}

bool ShortcutDispatch::floatingUpDown(const KeyEvent& e) {
    if (!e.matches.floating || !floating_) return false;
    if (!floating_->floatingVisible()) {
        if (!floating_->floatingExpanded()) floating_->expandFloating();
        floating_->showFloating();
    } else if (floating_->floatingExpanded()) {
        floating_->selectAdjacentInFloating(e.vk == VK_DOWN);
    } else {
        floating_->expandFloating();
    }
    return true;
}

void ShortcutDispatch::keyUp(const KeyEvent& e) {
    // The released modifier still counts as held, so this is the first release of the chord.
    if (!e.matches.popup || !isHeldModifier(e.vk)) return;
    if (deferredCtrlVOnKeyUp(deferredCtrlV, e.vk) == CtrlVStep::DeliverPaste) {
        if (deliverPaste_) deliverPaste_();
        return;
    }
    if (popupShows()) popup_->pastePopupSelection();
}

}  // namespace engine
