#include "platform/x11/window_process.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <unistd.h>

#include <climits>

namespace platform::x11 {

namespace {

// A 32-bit property of the window, when it has exactly that type and at least one item.
bool readCardinal(Display* d, Window w, Atom property, Atom type, unsigned long& value) {
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1, False, type, &actualType, &format, &items, &after, &data) != Success)
        return false;
    const bool ok = data && actualType == type && format == 32 && items >= 1;
    if (ok) value = *reinterpret_cast<const unsigned long*>(data);
    if (data) XFree(data);
    return ok;
}

pid_t pidFromServer(Display* d, Window w) {
    int eventBase = 0, errorBase = 0;
    if (!XResQueryExtension(d, &eventBase, &errorBase)) return 0;
    int major = 0, minor = 0;
    if (!XResQueryVersion(d, &major, &minor) || (major < 1 || (major == 1 && minor < 2))) return 0;
    XResClientIdSpec spec{w, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    if (XResQueryClientIds(d, 1, &spec, &count, &ids) != Success) return 0;
    pid_t pid = 0;
    for (long i = 0; i < count && pid == 0; ++i) {
        if (XResGetClientIdType(&ids[i]) != XRES_CLIENT_ID_PID) continue;
        const pid_t p = XResGetClientPid(&ids[i]);
        if (p > 0) pid = p;
    }
    XResClientIdsDestroy(count, ids);
    return pid;
}

}  // namespace

pid_t windowProcessId(Connection& connection, XId window) {
    if (connection.lost() || window == None) return 0;
    Display* d = connection.display();
    pid_t pid = pidFromServer(d, window);
    if (pid == 0) {
        const Atom netWmPid = connection.atom("_NET_WM_PID");
        unsigned long value = 0;
        if (readCardinal(d, window, netWmPid, XA_CARDINAL, value) && value > 0 && value <= INT_MAX) {
            pid = static_cast<pid_t>(value);
        } else {
            unsigned long leader = 0;
            if (readCardinal(d, window, connection.atom("WM_CLIENT_LEADER"), XA_WINDOW, leader) && leader != None &&
                readCardinal(d, leader, netWmPid, XA_CARDINAL, value) && value > 0 && value <= INT_MAX)
                pid = static_cast<pid_t>(value);
        }
    }
    connection.flush();
    return pid;
}

pid_t claimedProcessId(Connection& connection, XId window) {
    if (connection.lost() || window == None) return 0;
    unsigned long value = 0;
    if (!readCardinal(connection.display(), window, connection.atom("_NET_WM_PID"), XA_CARDINAL, value)) return 0;
    return value == 0 || value > static_cast<unsigned long>(INT_MAX) ? 0 : static_cast<pid_t>(value);
}

std::string processExecutablePath(pid_t pid) {
    if (pid <= 0) return {};
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace platform::x11
