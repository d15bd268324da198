#pragma once

// Which program owns a window: what the capture stores as a record's source application.

#include <string>
#include <sys/types.h>

#include "platform/x11/connection.h"

namespace platform::x11 {

// The process behind a window: the server's own word through the X-Resource extension (the
// client's process id, right for every local client), else the _NET_WM_PID the window or its
// WM_CLIENT_LEADER claims. 0 when none of them tells (a remote client, a window that is gone).
pid_t windowProcessId(Connection& connection, XId window);

// The process the window itself claims in _NET_WM_PID (not its leader's); 0 when it claims none.
// Windows a program makes through a second connection (its toolkit's) carry its process here
// while the server names the connection's.
pid_t claimedProcessId(Connection& connection, XId window);

// The executable the process runs (/proc/PID/exe); empty when the process no longer exists or
// is not ours to look at.
std::string processExecutablePath(pid_t pid);

}  // namespace platform::x11
