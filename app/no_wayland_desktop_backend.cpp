// A build without the Wayland backend.

#include "app/wayland_desktop_backend.h"

namespace app {

bool waylandBackendBuilt() { return false; }

CompositorAnswer askWaylandCompositor(const std::string&) { return {}; }

std::unique_ptr<DesktopBackend> makeWaylandBackend(platform::EventLoop&, const DesktopSettings&, const std::string&,
                                                   std::string& error) {
    error = "this build has no Wayland backend";
    return nullptr;
}

int serveWaylandClipboardAfterExit(const std::string&, const std::vector<platform::TargetData>&) { return 1; }

}  // namespace app
