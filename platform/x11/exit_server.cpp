#include "platform/x11/exit_server.h"

#include <chrono>
#include <memory>

#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/selection_owner.h"

namespace platform::x11 {

int serveClipboardUntilTaken(const std::string& display, std::vector<TargetData> targets) {
    PollLoop loop;
    std::unique_ptr<Connection> connection = Connection::open(loop, display.c_str());
    if (!connection) return 1;
    SelectionOwner owner(*connection, "CLIPBOARD");
    bool taken = false;
    owner.setOnLost([&] { taken = true; });
    if (!owner.own(std::move(targets))) return 1;
    while (!taken && !connection->lost()) loop.runOnce(std::chrono::milliseconds(1000));
    // A paste under way when another program copied still gets its last chunks.
    while (owner.activeTransfers() > 0 && !connection->lost()) loop.runOnce(std::chrono::milliseconds(1000));
    return 0;
}

}  // namespace platform::x11
