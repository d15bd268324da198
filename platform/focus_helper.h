#pragma once

#include <cstdint>

#include "platform/desktop_types.h"

namespace platform {

// Follows the keyboard focus across programs, so that a paste goes to the window the user was
// typing in before turning to us. Our own windows and the taskbar never count as that window.
// All calls on the user-interface thread.
class FocusHelper {
public:
    virtual ~FocusHelper() = default;

    // Starts tracking, with the taskbar window to ignore and the window that has the focus now.
    // The result means nothing to the caller.
    virtual int32_t initialize(WindowHandle taskbar, WindowHandle focus) = 0;
    // Ends tracking.
    virtual int32_t uninitialize() = 0;
    // The taskbar was made again; ignore this window from now on.
    virtual void updateTrayWindow(WindowHandle taskbar) = 0;
    // The window of another program that had the keyboard focus most recently; may be a window
    // that no longer exists, and null before tracking starts.
    virtual WindowHandle globalFocusWindow() const = 0;
};

}  // namespace platform
