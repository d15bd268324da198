#pragma once

// Bringing another program's window to the front with the keyboard focus, before a paste.

#include <chrono>

#include "platform/x11/connection.h"

namespace platform::x11 {

// Asks the window manager to activate the window (_NET_ACTIVE_WINDOW, as a pager would, with
// the server's current time); without a manager that keeps _NET_ACTIVE_WINDOW, raises it and
// gives it the input focus ourselves. Then waits, at most `wait`, blocking, until it is the
// active window. False when it did not become active in time, or is gone or not a window that
// can be shown.
bool activateWindow(Connection& connection, XId window,
                    std::chrono::milliseconds wait = std::chrono::milliseconds(500));

}  // namespace platform::x11
