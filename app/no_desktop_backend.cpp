// A build without any desktop backend.

#include "app/desktop_backend.h"

namespace app {

std::unique_ptr<DesktopBackend> makeDesktopBackend(platform::EventLoop&, const DesktopSettings&, std::string& error) {
    error = "this build has no desktop support";
    return nullptr;
}

}  // namespace app
