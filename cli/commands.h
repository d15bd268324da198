#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/request.h"

namespace cli {

class DaemonControl;
class Store;

// The command line split at its global options.
struct Invocation {
    // Help also when there is no command word.
    enum class Action { Help, Version, Command };
    Action action = Action::Help;
    std::optional<std::filesystem::path> dataFolder;  // --data-dir
    bool json = false;
    // The command word and its arguments (Command only).
    std::vector<std::string> words;
};

// Throws UsageError for an unknown or incomplete global option.
Invocation parseInvocation(const std::vector<std::string>& words);

// Runs the command line (without the program name) on the data folder's files. Returns the exit
// status: 0 success, 1 a failed command, 2 a usage error. Output goes to `out`, errors as one
// sentence to `err`.
int run(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

// Runs one command on the history and configuration of `store`. `daemon` is the running
// daemon when the command runs inside it, else null: the commands that need it then fail.
// Same statuses and output as run().
int runCommand(const Request& request, std::ostream& out, std::ostream& err, Store& store,
               DaemonControl* daemon);

// The usage text.
std::string usage();

// The one sentence of the commands that need a running daemon when there is none.
inline constexpr const char* kNoDaemonText =
    "No quillet daemon is running; start one with \"quillet daemon\".";

}  // namespace cli
