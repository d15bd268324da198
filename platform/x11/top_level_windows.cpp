#include "platform/x11/top_level_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "platform/x11/window_process.h"
#include "platform/x11/window_queries.h"

namespace platform::x11 {

namespace {

// The windows of a WINDOW-typed list property of the root; false when it has none.
bool readWindowList(Display* d, Window root, Atom property, std::vector<XId>& windows) {
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    // At most 64 Ki windows: far more than any desktop shows.
    if (XGetWindowProperty(d, root, property, 0, 65536, False, XA_WINDOW, &actualType, &format,
                           &items, &after, &data) != Success)
        return false;
    const bool ok = data && actualType == XA_WINDOW && format == 32;
    if (ok) {
        const auto* list = reinterpret_cast<const unsigned long*>(data);
        windows.assign(list, list + items);
    }
    if (data) XFree(data);
    return ok;
}

}  // namespace

std::vector<TopLevelWindow> topLevelWindows(Connection& connection) {
    Display* d = connection.display();
    const Window root = DefaultRootWindow(d);
    std::vector<XId> windows;
    if (!readWindowList(d, root, connection.atom("_NET_CLIENT_LIST"), windows)) {
        Window rootOut = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(d, root, &rootOut, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count; ++i) {
                XWindowAttributes attributes;
                if (!XGetWindowAttributes(d, children[i], &attributes) ||
                    attributes.map_state != IsViewable || attributes.override_redirect)
                    continue;
                if (const XId client = topLevelWindow(connection, children[i]))
                    windows.push_back(client);
            }
            if (children) XFree(children);
        }
    }

    std::vector<TopLevelWindow> result;
    result.reserve(windows.size());
    for (XId window : windows) {
        TopLevelWindow entry;
        entry.window = window;
        entry.processId = windowProcessId(connection, window);
        if (entry.processId > 0) entry.executablePath = processExecutablePath(entry.processId);
        result.push_back(std::move(entry));
    }
    return result;
}

}  // namespace platform::x11
