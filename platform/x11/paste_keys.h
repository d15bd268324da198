#pragma once

// The paste keystroke differs between X programs: most paste CLIPBOARD on Ctrl+V, but terminal
// emulators give Ctrl+V to the program running inside them (it is a literal-next character for
// the shell) and paste on another chord. These functions turn the Ctrl+V sequence the engine
// injects into the chord the target window's program pastes on, knowing the program by its
// window class (the second string of WM_CLASS, compared ignoring case). Pure functions.
//
// Window classes and their chord:
//   Ctrl+Shift+V (CLIPBOARD): Gnome-terminal, konsole, kitty, Alacritty, Xfce4-terminal, Tilix,
//                             st (also st-256color, its default class), foot (and footclient)
//   Shift+Insert (PRIMARY):   XTerm, UXTerm, URxvt. xterm binds no clipboard paste by default,
//                             and urxvt takes Ctrl+Shift for its ISO 14755 code input; both
//                             insert PRIMARY on Shift+Insert, so whoever pastes into them has to
//                             own PRIMARY with the same content as CLIPBOARD.
//   Ctrl+V:                   every other class.

#include <span>
#include <string_view>
#include <vector>

#include "platform/desktop_types.h"

namespace platform::x11 {

enum class PasteChord { CtrlV, CtrlShiftV, ShiftInsert };

PasteChord pasteChord(std::string_view wmClass);

// Whether the class pastes PRIMARY rather than CLIPBOARD (the Shift+Insert terminals).
bool pastesPrimary(std::string_view wmClass);

// `keys` is the engine's paste sequence: [Alt up] [Ctrl down] V down, V up [Ctrl up] [Alt down],
// where Ctrl is pressed and released only when the user does not hold it, and a held Alt is let
// go around the chord. For the terminals above it becomes
//   Ctrl+Shift+V: Shift down just before V down and Shift up just after V up, the rest unchanged;
//   Shift+Insert: V becomes Insert with Shift around it, and Ctrl is taken out: the Ctrl down and
//                 up we would add are dropped, and a Ctrl the user holds is let go before and
//                 pressed again after, as Alt is (Ctrl+Shift+Insert is not a paste).
// Any other class, and any sequence without exactly one V down followed by one V up, comes back
// unchanged.
std::vector<KeyboardInput> adaptPasteKeys(std::span<const KeyboardInput> keys, std::string_view wmClass);

}  // namespace platform::x11
