#include "app/desktop_programs.h"

#include "platform/x11/connection.h"
#include "ui/dialogs/x11_running_programs.h"

namespace app {

std::vector<RunningPrograms::Window> DesktopPrograms::topLevelWindows() {
    const std::unique_ptr<platform::x11::Connection> connection = platform::x11::Connection::open(loop_);
    if (!connection)
        return {};
    return X11RunningPrograms(*connection).topLevelWindows();
}

}  // namespace app
