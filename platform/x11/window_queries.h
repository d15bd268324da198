#pragma once

// Questions about windows of any program: what they are, whether they still exist, which
// top-level window they belong to, and which window the user is working in. Other programs'
// windows may vanish at any moment: a query about one that is gone answers "nothing" (the
// protocol error is counted by the connection), never fails otherwise.

#include <limits>
#include <string>

#include "platform/x11/connection.h"

namespace platform::x11 {

// Windows of this process that exist only inside it (no X window behind them) have handles with
// the top bit set; X's own resource ids never have it.
inline constexpr XId kVirtualWindowBit = XId(1) << (std::numeric_limits<XId>::digits - 1);
inline constexpr bool isVirtualWindow(XId window) { return (window & kVirtualWindowBit) != 0; }

// The class (second string) of WM_CLASS: what tells programs apart ("XTerm", "Gedit"). Empty
// when the window has none or is gone.
std::string windowClass(Connection& connection, XId window);

bool windowExists(Connection& connection, XId window);

// The top-level window that `window` belongs to: the client window that carries WM_STATE (under
// a reparenting window manager that is the one inside the frame, the one with WM_CLASS), else the
// child of the root on the way up. 0 for the root, for none and for a window that is gone.
XId topLevelWindow(Connection& connection, XId window);

// The window an EWMH window manager names in _NET_SUPPORTING_WM_CHECK, when the manager is
// still running (the check window names itself too); 0 without one.
XId windowManagerCheck(Connection& connection);

// The window the user is working in: what the window manager names in _NET_ACTIVE_WINDOW; when
// no running manager keeps that property, the top-level window of the input focus (of the
// window under the pointer when the focus follows the pointer). 0 when no window is active.
XId activeWindow(Connection& connection);

// Whether the window manager keeps _NET_ACTIVE_WINDOW for us to follow.
bool followsActiveWindowProperty(Connection& connection);

}  // namespace platform::x11
