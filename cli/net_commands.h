#pragma once

#include <iosfwd>

#include "cli/arguments.h"
#include "cli/store.h"

namespace cli {

// "send HOST[:PORT] (--list LIST | --record LIST INDEX)": one transfer; prints the final state.
int sendCommand(Store& store, Arguments& args, std::ostream& out, bool json);

// "receive [--port N] [--count K]": the receiver in the foreground.
int receiveCommand(Store& store, Arguments& args, std::ostream& out, bool json);

}  // namespace cli
