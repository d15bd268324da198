#include "ui/dialogs/x11_running_programs.h"

#include "platform/x11/top_level_windows.h"

std::vector<RunningPrograms::Window> X11RunningPrograms::topLevelWindows() {
    std::vector<Window> windows;
    for (const platform::x11::TopLevelWindow& w : platform::x11::topLevelWindows(connection_))
        windows.push_back({w.processId, w.executablePath});
    return windows;
}
