#pragma once

#include "ui/dialogs/running_programs.h"

namespace platform::x11 {
class Connection;
}

// The programs behind the top-level windows of an X11 desktop.
class X11RunningPrograms : public RunningPrograms {
public:
    explicit X11RunningPrograms(platform::x11::Connection& connection) : connection_(connection) {}
    std::vector<Window> topLevelWindows() override;

private:
    platform::x11::Connection& connection_;
};
