#pragma once

// At exit, what the program put on the clipboard outlives it: a detached process with a
// connection of its own offers the same MIME types with the same bytes until another client
// takes the clipboard or the compositor ends. The process is nobody's child.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform::wayland {

// Starts the process; false when it could not be started. `display` empty: $WAYLAND_DISPLAY.
bool serveFromDetachedProcess(const std::string& display, const std::vector<std::string>& mimeTypes,
                              const std::map<std::string, std::shared_ptr<const std::string>>& bytes);

}  // namespace platform::wayland
