#pragma once

// The windows a record is picked in without the main window: the popup at the caret (the
// shortcuts, or `quillet popup` bound to a key by the desktop), the floating window, and the
// menu window at the pointer (a left click on the tray icon); and the key dispatch through which
// the keyboard hook drives them. Made once the core has started, with the main frame; saved at
// exit before the core writes the configuration.

#include <memory>

#include "engine/shortcut_dispatch.h"
#include "platform/atspi/caret_query.h"
#include "platform/key_chord.h"

class CaretPopup;
class FloatingWindow;
class MainFrame;
class PointerMenu;
class QMenu;
class QString;
class TrayIcon;
struct ViewContext;

namespace app {

class ResidentProgram;

class PickingWindows {
public:
    // Creates the three windows (the floating one shown when option 15 says so), hands the keys
    // to the engine, and reports a shortcut another program holds in the tray and the status bar.
    // Everything given outlives this object.
    PickingWindows(ResidentProgram& core, ViewContext& context, MainFrame& frame, TrayIcon& tray);
    // Takes the keys back from the engine first.
    ~PickingWindows();
    PickingWindows(const PickingWindows&) = delete;
    PickingWindows& operator=(const PickingWindows&) = delete;

    // Options 7, 9, 11, 12, 13, 15, 33 and 35.
    void save();

    // Opens the popup at the caret; while it shows, selects its next record.
    void openPopup(bool plainText);
    // The tray icon's left click.
    void showMenuAtPointer();
    void toggleFloating();

    CaretPopup& popup() { return *popup_; }
    FloatingWindow& floating() { return *floating_; }
    PointerMenu& menu() { return *menu_; }

    // What the user is told when a shortcut is held by another program.
    static QString refusedShortcutText(const platform::KeyChord& chord);

private:
    void pickingShownChanged();
    void reportRefused(const platform::KeyChord& chord);

    ResidentProgram& core_;
    MainFrame& frame_;
    TrayIcon& tray_;
    engine::ShortcutDispatch dispatch_;
    std::unique_ptr<CaretPopup> popup_;
    std::unique_ptr<FloatingWindow> floating_;
    std::unique_ptr<PointerMenu> menu_;
    // Declared after the windows: its thread ends before the popup it answers goes.
    platform::atspi::CaretQuery caretQuery_;
};

}  // namespace app
