#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The programs that have windows on the desktop, asked when the user picks a program to exclude.
class RunningPrograms {
public:
    struct Window {
        pid_t processId = 0;
        // The full path of the process's executable; empty when it cannot be found out.
        std::string executablePath;
    };

    virtual ~RunningPrograms() = default;
    // One entry per top-level window, in the desktop's order.
    virtual std::vector<Window> topLevelWindows() = 0;
};
