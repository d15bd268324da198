#pragma once

// The desktop's top-level windows and the programs behind them: what the user picks from when
// excluding a program from capture.

#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/x11/connection.h"

namespace platform::x11 {

struct TopLevelWindow {
    XId window = 0;
    pid_t processId = 0;         // 0 when no one tells
    std::string executablePath;  // empty when the process cannot be looked at
};

// Every top-level window in the desktop's order: the window manager's client list (oldest first)
// when it keeps one, else the client windows inside the root's children, bottom to top.
std::vector<TopLevelWindow> topLevelWindows(Connection& connection);

}  // namespace platform::x11
