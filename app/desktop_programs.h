#pragma once

// The programs behind the desktop's top-level windows, for the user who picks a program to
// exclude from capture. Asked rarely (when that dialog opens), so each question opens a
// connection of its own to the display rather than sharing the clipboard's.

#include "platform/event_loop.h"
#include "ui/dialogs/running_programs.h"

namespace app {

class DesktopPrograms final : public RunningPrograms {
public:
    explicit DesktopPrograms(platform::EventLoop& loop) : loop_(loop) {}
    // Nothing when the display cannot be reached.
    std::vector<Window> topLevelWindows() override;

private:
    platform::EventLoop& loop_;
};

}  // namespace app
