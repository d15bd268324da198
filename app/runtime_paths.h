#pragma once

// Where the resident program keeps what is not data: a private runtime folder of the user, with
// a lock file per X display (one resident program per display) and a control socket per data
// folder.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace app {

struct RuntimePaths {
    std::filesystem::path lock;    // "quillet-<display>.lock"
    std::filesystem::path socket;  // "quillet-<display>.sock"
};

// The display name as it may stand in a file name: the screen number dropped, the host joined
// with "_", anything but letters, digits, '.' and '-' replaced by '_', at most 64 characters.
// ":0.0" -> "0", "localhost:10.0" -> "localhost_10", no display -> "nodisplay".
std::string displayKey(std::string_view display);

// The inputs of the rule, passed in so that it can be tested; runtimePaths() reads the real ones.
struct RuntimeInputs {
    std::optional<std::string> xdgRuntimeDir;
    std::optional<std::string> display;
    uid_t uid = 0;
    std::filesystem::path temporaryFolder = "/tmp";
};

// $XDG_RUNTIME_DIR when it names an absolute folder; else <tmp>/quillet-<uid>, created with mode
// 0700 and checked to be a real folder (not a symbolic link) that belongs to the user and that
// nobody else may enter. Throws std::runtime_error, saying why, when no such folder can be had.
std::filesystem::path runtimeFolder(const RuntimeInputs& inputs);

RuntimePaths runtimePaths(const RuntimeInputs& inputs);
// From $XDG_RUNTIME_DIR, $DISPLAY and this process's user.
RuntimePaths runtimePaths();

// The control socket of the resident program that holds a data folder:
// "quillet-<16 hex digits>.sock" in the runtime folder, the digits a hash of the folder's
// absolute path, so that it stays short enough for a socket address however long the path is.
// The holder writes it into the folder's lock file, where commands find it.
std::filesystem::path controlSocketPath(const std::filesystem::path& runtimeFolder,
                                        const std::filesystem::path& dataFolder);
// The same in this process's runtime folder.
std::filesystem::path controlSocketPath(const std::filesystem::path& dataFolder);

}  // namespace app
