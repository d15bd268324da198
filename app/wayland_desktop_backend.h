#pragma once

// The Wayland desktop as the resident program's backend (built where libwayland-client is).

#include <functional>
#include <memory>
#include <string>

#include "app/backend_choice.h"
#include "app/desktop_backend.h"

namespace app {

// Whether this build has the backend (CMake picks this file or its stand-in).
bool waylandBackendBuilt();

// What the compositor at `display` (empty: $WAYLAND_DISPLAY) offers, asked by a short
// connection of its own.
CompositorAnswer askWaylandCompositor(const std::string& display);

// The backend on the compositor; null, with the reason, when it cannot be reached or offers no
// data-control protocol. `notice` hears what the user should know (once: that pastes are not
// typed on this compositor).
std::unique_ptr<DesktopBackend> makeWaylandBackend(platform::EventLoop& loop, const std::string& display,
                                                   std::function<void(const std::string&)> notice,
                                                   std::string& error);

}  // namespace app
