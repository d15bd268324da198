#pragma once

// The Wayland desktop as the resident program's backend (built where libwayland-client is).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/backend_choice.h"
#include "app/desktop_backend.h"
#include "platform/clipboard_conversions.h"

namespace app {

// Whether this build has the backend (CMake picks this file or its stand-in).
bool waylandBackendBuilt();

// What the compositor at `display` (empty: $WAYLAND_DISPLAY) offers, asked by a short
// connection of its own.
CompositorAnswer askWaylandCompositor(const std::string& display);

// The backend on the compositor at `display` (empty: $WAYLAND_DISPLAY); null, with the reason,
// when it cannot be reached or offers no data-control protocol.
std::unique_ptr<DesktopBackend> makeWaylandBackend(platform::EventLoop& loop, const DesktopSettings& settings,
                                                   const std::string& display, std::string& error);

// After the program has ended: serves `targets` on the compositor until another client copies.
// The process's exit status.
int serveWaylandClipboardAfterExit(const std::string& display, const std::vector<platform::TargetData>& targets);

}  // namespace app
