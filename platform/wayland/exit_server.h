#pragma once

// The Wayland side of the process that serves our clipboard content after the program has
// ended (platform/exit_server.h): with a connection of its own it offers the same MIME types
// with the same bytes until another client takes the clipboard or the compositor ends.

#include <string>
#include <vector>

#include "platform/clipboard_conversions.h"

namespace platform::wayland {

// `display` empty: $WAYLAND_DISPLAY. The process's exit status: 0 once it has served, 1 when it
// could not offer the content.
int serveClipboardUntilTaken(const std::string& display, const std::vector<TargetData>& targets);

}  // namespace platform::wayland
