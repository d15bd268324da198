#pragma once

// The X11 desktop as the resident program's backend (built where Xlib is).

#include <memory>
#include <string>
#include <vector>

#include "app/desktop_backend.h"
#include "platform/clipboard_conversions.h"

namespace app {

// Whether this build has the backend (CMake picks this file or its stand-in).
bool x11BackendBuilt();

// The backend on the display of `settings` (empty: $DISPLAY); null, with the reason, when the
// display cannot be opened.
std::unique_ptr<DesktopBackend> makeX11Backend(platform::EventLoop& loop, const DesktopSettings& settings,
                                               std::string& error);

// After the program has ended: serves `targets` on the display until another program copies.
// The process's exit status.
int serveX11ClipboardAfterExit(const std::string& display, std::vector<platform::TargetData> targets);

}  // namespace app
