#pragma once

// The command line's way to a running daemon: a command for the data folder that the daemon
// of this display keeps runs inside the daemon, on its live history; otherwise the command
// line runs it on the files itself.

#include <filesystem>
#include <iosfwd>
#include <optional>

#include "app/control_protocol.h"
#include "cli/request.h"

namespace app {

// QUILLET_NO_DAEMON set to anything but "" or "0" keeps every command on the files.
bool forwardingDisabled();

// The daemon's reply when it ran the command; nothing when no daemon answers for this display,
// when it keeps another data folder, or when forwarding is disabled. A command that reads
// standard input finds it in request.standardInput afterwards, read from `input` once a daemon
// was reached, so that the caller can still run the command itself.
std::optional<ControlReply> forwardToDaemon(const std::filesystem::path& dataFolder,
                                            cli::Request& request, std::istream& input);

}  // namespace app
