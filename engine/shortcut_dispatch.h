#pragma once

// What the program's shortcuts do: the keyboard hook hands every key event here, and this
// decides, from the held modifiers and the state of the popup, floating and menu windows,
// which window acts and whether the key is swallowed. The windows are reached through the small
// interfaces below, so the rules run and are checked without any window.
//
// The user's cycle: hold the popup modifiers, press the popup key to open the popup at the
// caret, press it again (or Up and Down) to move through the records, and let go of the
// modifiers to paste; Enter pastes at once, Escape closes. With Ctrl+V as the popup shortcut a
// single Ctrl+V keeps its ordinary meaning and Ctrl+V+V opens the popup.

#include <functional>

#include "engine/engine_services.h"
#include "engine/keyboard_hook.h"
#include "persist/config/option.h"

namespace engine {

// The popup window as the keys drive it.
class PopupKeys {
public:
    virtual bool popupVisible() const = 0;
    // Shows it at the caret without taking the focus; plainText: paste only the text.
    virtual void showPopup(bool plainText) = 0;
    // Selects the next or previous row and keeps the window on top.
    virtual void selectAdjacentInPopup(bool next) = 0;
    // Pastes the selected row (hiding the popup).
    virtual void pastePopupSelection() = 0;
    virtual void hidePopup() = 0;

protected:
    ~PopupKeys() = default;
};

// The floating window as its keys drive it. Expanded: its list shows (not just the toolbar).
class FloatingKeys {
public:
    virtual bool floatingVisible() const = 0;
    virtual bool floatingExpanded() const = 0;
    virtual void expandFloating() = 0;
    virtual void collapseFloating() = 0;
    // Shown or hidden on top, without taking the focus.
    virtual void showFloating() = 0;
    virtual void hideFloating() = 0;
    virtual void selectAdjacentInFloating(bool next) = 0;
    virtual void pasteFloatingSelection() = 0;

protected:
    ~FloatingKeys() = default;
};

class MenuKeys {
public:
    virtual bool menuVisible() const = 0;
    virtual void hideMenu() = 0;

protected:
    ~MenuKeys() = default;
};

class ShortcutDispatch final : public KeyboardDispatch {
public:
    // deliverPaste: makes the focused program paste what is on the clipboard now (for the
    // held-back Ctrl+V). The options outlive the dispatch; they are read at every key.
    ShortcutDispatch(const cmn::option<int>& options, std::function<void()> deliverPaste);

    // Windows not given (null) are taken as hidden and never act.
    void setPopup(PopupKeys* popup) { popup_ = popup; }
    void setFloating(FloatingKeys* floating) { floating_ = floating; }
    void setMenu(MenuKeys* menu) { menu_ = menu; }

    bool dispatchKey(const KeyEvent& event) override;

private:
    bool keyDown(const KeyEvent& event);
    bool popupKey(const KeyEvent& event, bool isPopupKey);
    bool floatingUpDown(const KeyEvent& event);
    void keyUp(const KeyEvent& event);
    bool popupShows() const { return popup_ && popup_->popupVisible(); }
    bool floatingShows() const { return floating_ && floating_->floatingVisible(); }

    const cmn::option<int>& options_;
    std::function<void()> deliverPaste_;
    PopupKeys* popup_ = nullptr;
    FloatingKeys* floating_ = nullptr;
    MenuKeys* menu_ = nullptr;
};

}  // namespace engine
