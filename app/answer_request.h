#pragma once

// The daemon's answer to a request of the control channel.

#include "app/control_protocol.h"

namespace cli {
class DaemonControl;
class Store;
}  // namespace cli

namespace app {

// A command for the daemon's own data folder runs on its live store, with the caller's working
// folder and standard input, and the reply carries its status and output. A command for another
// data folder is not run: the reply says "not mine", and the caller runs it on those files. An
// activation is answered with status 0 (the caller's handler does what it means).
ControlReply answerRequest(const ControlRequest& request, cli::Store& store,
                           cli::DaemonControl* daemon);

}  // namespace app
