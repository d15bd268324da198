#pragma once

// Where a window that pops up at the text caret goes: which point it starts from, and how it is
// kept on the screen. Pure functions over rectangles in screen coordinates.

#include <optional>
#include <span>

#include "platform/desktop_types.h"
#include "platform/geometry.h"

namespace platform {

// The monitor that shares the most area with the rectangle, or, when it touches none, the one
// nearest to it; null when there is no monitor.
const Rect* nearestMonitor(const Rect& rect, std::span<const Rect> monitors);

// Moves the rectangle (keeping its size) onto the nearest monitor's full rectangle: left when it
// overflows the right edge, then right when it starts before the left edge; then the same for
// bottom and top. One larger than the monitor thus ends at the monitor's left and top.
// Unchanged when there is no monitor.
Rect fitRectToMonitor(const Rect& rect, std::span<const Rect> monitors);

// What the accessibility bus said about the caret of the focused text: the process that
// answered and the caret's rectangle on the screen.
struct CaretReport {
    ProcessId process = 0;
    Rect caret;
};

// What is known about the window the user types in when the popup opens.
struct FocusFacts {
    Rect window;                        // the focused window's rectangle on the screen
    ProcessId process = 0;              // its _NET_WM_PID; 0 when it claims none
    std::optional<CaretReport> caret;   // nothing when the bus did not answer in time
    std::optional<Point> pointer;       // nothing when the pointer is on another screen
};

// The point the popup's top-left corner goes to: the caret when the bus's answer can be
// trusted (it comes from the focused window's own process and lies inside that window: another
// program's stale focus must not send the popup elsewhere); otherwise the pointer when it is
// inside the focused window; otherwise the window's top-left corner.
Point popupAnchor(const FocusFacts& facts);

}  // namespace platform
