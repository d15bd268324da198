#include "cli/net_commands.h"

namespace cli {

int sendCommand(Session&, Arguments&, std::ostream&, bool) {
    throw CommandError("Sending records is not available in this build.");
}

int receiveCommand(Session&, Arguments&, std::ostream&, bool) {
    throw CommandError("Receiving records is not available in this build.");
}

}  // namespace cli
