#pragma once

// The X11 backend runs inside the program's event loop (platform/event_loop.h). The loop calls
// Connection::processPendingEvents() when the connection's descriptor is readable and at the
// end of every round of work; the connection asks for both itself.

#include "platform/event_loop.h"

namespace platform::x11 {

using EventLoop = platform::EventLoop;

}  // namespace platform::x11
