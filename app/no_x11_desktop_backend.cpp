// A build without the X11 backend.

#include "app/x11_desktop_backend.h"

namespace app {

bool x11BackendBuilt() { return false; }

std::unique_ptr<DesktopBackend> makeX11Backend(platform::EventLoop&, const DesktopSettings&, std::string& error) {
    error = "this build has no X11 backend";
    return nullptr;
}

int serveX11ClipboardAfterExit(const std::string&, std::vector<platform::TargetData>) { return 1; }

}  // namespace app
