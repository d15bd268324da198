#pragma once

#include <iosfwd>

#include "cli/arguments.h"
#include "cli/store.h"

namespace cli {

class DaemonControl;

// "send HOST[:PORT] (--list LIST | --record LIST INDEX)": one transfer; prints the final state.
// Inside the daemon the transfer runs in the background, so the daemon goes on serving.
int sendCommand(Store& store, Arguments& args, std::ostream& out, bool json, DaemonControl* daemon);

// "receive [--port N] [--count K]": the receiver in the foreground.
int receiveCommand(Store& store, Arguments& args, std::ostream& out, bool json);

}  // namespace cli
