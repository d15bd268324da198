#pragma once

// Whether a command line starts the windowed program: no command word (only the global options
// and the start switches), and no request for help or the version. The start switches are the
// ones desktop launchers and the logon start use: "/Commit", "/Uninstall" and "-startup", each
// found anywhere on the command line in any letter case; when several are given, the first of
// that order wins.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace app {

enum class StartSwitch {
    None,
    Commit,     // start a new copy of the program and end
    Uninstall,  // end the running copy and end
    Startup,    // the logon start: only when "start at logon" is on
};

struct WindowedStart {
    StartSwitch startSwitch = StartSwitch::None;
    std::optional<std::filesystem::path> dataFolder;  // --data-dir
};

// `words`: the command line without the program name. Nothing when the words are for the
// command line (a command word, --help, --version) or are not a valid command line at all.
std::optional<WindowedStart> windowedStart(const std::vector<std::string>& words);

}  // namespace app
