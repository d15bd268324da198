#pragma once

// What keeps our clipboard content served after the program has ended, when no clipboard
// manager took it: a process of its own that owns the clipboard until another program copies.
// It is a fresh process, our own executable started again with an internal command word, never
// a fork of the running program: that one has other threads (the network's, a toolkit's) whose
// locks a forked child would inherit, held for ever.
//
// The content travels on the new process's standard input, an in-memory file: the number of
// targets (4 bytes, little-endian), then for each its name's length (4 bytes), the name, the
// data's length (8 bytes) and the data.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clipboard_conversions.h"

namespace platform {

// The word that makes our executable such a process; the backend's name ("x11", "wayland")
// and the display's name follow it.
inline constexpr std::string_view kExitServerWord = "__serve-clipboard";

// Our own executable with that word: what a backend starts by default.
std::vector<std::string> defaultExitServerCommand();

// The content in the form above.
std::string encodeServedContent(const std::vector<TargetData>& targets);
// Nullopt when the bytes are not exactly one content in that form.
std::optional<std::vector<TargetData>> decodeServedContent(std::string_view bytes);

// Starts `command` (the executable and its words) with `words` added, the content on its
// standard input, in a session of its own, with nothing else of ours open. The new process's
// id, or -1 when it could not be started.
pid_t startExitServer(const std::vector<std::string>& command, const std::vector<std::string>& words,
                      const std::vector<TargetData>& targets);

// The starting side, after startExitServer(): the content stays ours to serve until the server
// has taken the clipboard. `served()` tells whether it is still ours; `pump(ms)` serves and
// waits for events at most that long. True once the clipboard was taken from us; false when the
// server ended first or did not take it within `limit` (it is then stopped: a server that
// took the clipboard after we reported failure would surprise).
bool awaitExitServer(pid_t server, std::chrono::milliseconds limit, const std::function<bool()>& served,
                     const std::function<void(int ms)>& pump);

// The started side: leaves the folder it was started in and the signals of the session it
// outlives, and reads the content from `fd`. Nullopt when it is not one content of targets.
std::optional<std::vector<TargetData>> takeServedContent(int fd);

}  // namespace platform
