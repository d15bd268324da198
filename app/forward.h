#pragma once

// How the quillet program runs a command for a data folder: the folder has one writer at a
// time. When the resident program holds the folder, the command runs inside it, on its live
// history; when nobody does, the program takes the folder's lock and runs the command on the
// files; when another command holds it, it waits for that one. A holder that cannot be reached
// fails the command, with nothing written.

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <optional>

#include "app/control_protocol.h"
#include "cli/request.h"

namespace app {

// QUILLET_NO_DAEMON set to anything but "" or "0" never hands a command to the resident
// program; a command then fails while it holds the folder.
bool forwardingDisabled();

struct FolderWaits {
    // How long a command waits for another command that holds the folder.
    std::chrono::milliseconds forCommand{10000};
    // How long the resident program may take to answer on its socket (it may be starting).
    std::chrono::milliseconds forResident{3000};
};

// Runs the command, wherever it has to run, and returns its exit status.
int runForDataFolder(const std::filesystem::path& dataFolder, cli::Request request, std::istream& input,
                     std::ostream& out, std::ostream& err, const FolderWaits& waits = {});

// The resident program's reply when it answered on `socket`; nothing when nobody answers
// there. A command that reads standard input finds it in request.standardInput afterwards,
// read from `input` once the program was reached.
std::optional<ControlReply> forwardToResident(const std::filesystem::path& socket,
                                              const std::filesystem::path& dataFolder,
                                              cli::Request& request, std::istream& input);

}  // namespace app
