#pragma once

// The X11 side of the process that serves our clipboard content after the program has ended
// (platform/exit_server.h): it owns CLIPBOARD on the display with the content and serves it
// until another program takes the clipboard or the display ends.

#include <string>
#include <vector>

#include "platform/clipboard_conversions.h"

namespace platform::x11 {

// The process's exit status: 0 once it has served, 1 when it could not own the clipboard.
int serveClipboardUntilTaken(const std::string& display, std::vector<TargetData> targets);

}  // namespace platform::x11
