#include "platform/x11/window_activation.h"

#include <X11/Xlib.h>

#include <thread>

#include "platform/x11/window_queries.h"

namespace platform::x11 {

namespace {

// EWMH source indication: a pager, which acts for the user; managers honour it even when they
// keep programs from stealing the focus.
constexpr long kSourcePager = 2;

void askManager(Connection& c, Window window) {
    Display* d = c.display();
    // A window of ours only for the time stamp: the manager may refuse a request at CurrentTime.
    const XId probe = c.createWindow();
    const XTime time = c.serverTime(probe);
    c.destroyWindow(probe);

    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = c.atom("_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = kSourcePager;
    e.xclient.data.l[1] = static_cast<long>(time);
    e.xclient.data.l[2] = None;  // no window of ours is giving the focus away
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

bool focusOurselves(Connection& c, Window window) {
    Display* d = c.display();
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, window, &attributes) || attributes.map_state != IsViewable) return false;
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToPointerRoot, CurrentTime);
    return true;
}

}  // namespace

bool activateWindow(Connection& connection, XId window, std::chrono::milliseconds wait) {
    if (connection.lost()) return false;
    const XId target = topLevelWindow(connection, window);
    if (target == None) return false;
    if (activeWindow(connection) == target) return true;

    if (followsActiveWindowProperty(connection)) {
        askManager(connection, target);
    } else if (!focusOurselves(connection, target)) {
        connection.flush();
        return false;
    }
    connection.flush();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + wait;
    for (;;) {
        if (activeWindow(connection) == target) return true;
        if (Clock::now() >= end || !windowExists(connection, target)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace platform::x11
