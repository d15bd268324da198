#include "platform/x11/focus_tracker.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include "platform/x11/window_process.h"
#include "platform/x11/window_queries.h"

namespace platform::x11 {

namespace {

// Adds event bits to what this client selects on a window, keeping the bits other parts of the
// program selected there. Returns the bits that were not selected before.
long addInput(Display* d, Window w, long mask) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, w, &attributes)) return 0;
    const long added = mask & ~attributes.your_event_mask;
    if (added) XSelectInput(d, w, attributes.your_event_mask | added);
    return added;
}

void removeInput(Display* d, Window w, long mask) {
    XWindowAttributes attributes;
    if (!mask || !XGetWindowAttributes(d, w, &attributes)) return;
    XSelectInput(d, w, attributes.your_event_mask & ~mask);
}

// Desktop and dock windows (the background, panels) get the focus when clicked, but nobody
// pastes into them.
bool isDesktopOrDock(Connection& c, Window w) {
    Display* d = c.display();
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, c.atom("_NET_WM_WINDOW_TYPE"), 0, 32, False, XA_ATOM, &type, &format, &items, &after,
                           &data) != Success)
        return false;
    bool found = false;
    if (data && type == XA_ATOM && format == 32) {
        const Atom desktop = c.atom("_NET_WM_WINDOW_TYPE_DESKTOP");
        const Atom dock = c.atom("_NET_WM_WINDOW_TYPE_DOCK");
        const auto* atoms = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < items && !found; ++i) found = atoms[i] == desktop || atoms[i] == dock;
    }
    if (data) XFree(data);
    return found;
}

}  // namespace

FocusTracker::FocusTracker(Connection& connection) : connection_(connection) {}

FocusTracker::~FocusTracker() { uninitialize(); }

int32_t FocusTracker::initialize(WindowHandle taskbar, WindowHandle focus) {
    uninitialize();
    if (connection_.lost()) return 0;
    Display* d = connection_.display();
    root_ = DefaultRootWindow(d);
    activeAtom_ = connection_.atom("_NET_ACTIVE_WINDOW");
    checkAtom_ = connection_.atom("_NET_SUPPORTING_WM_CHECK");
    tracking_ = true;
    updateTrayWindow(taskbar);
    handler_ = connection_.addEventHandler([this](const XEvent& e) { onEvent(e); });
    addedRootMask_ = addInput(d, root_, PropertyChangeMask);

    const XId given = static_cast<XId>(focus);
    const XId top = isVirtualWindow(given) ? None : topLevelWindow(connection_, given);
    if (counts(top)) {
        answer_ = top;
        // What is active now is already known; only a change of it replaces the answer.
        lastSeen_ = activeWindow(connection_);
    }
    update();
    connection_.flush();
    return 1;
}

int32_t FocusTracker::uninitialize() {
    if (!tracking_) return 0;
    tracking_ = false;
    cancelPoll();
    connection_.removeEventHandler(handler_);
    handler_ = 0;
    if (!connection_.lost()) {
        removeInput(connection_.display(), root_, addedRootMask_);
        // The manager's check window keeps the bit: another part may have selected it too, and
        // the manager's window is gone with the manager anyway.
        connection_.flush();
    }
    addedRootMask_ = 0;
    watchedCheck_ = None;
    answer_ = lastSeen_ = None;
    return 1;
}

void FocusTracker::updateTrayWindow(WindowHandle taskbar) {
    const XId w = static_cast<XId>(taskbar);
    taskbar_ = isVirtualWindow(w) ? w : topLevelWindow(connection_, w);
}

WindowHandle FocusTracker::globalFocusWindow() const {
    update();
    return WindowHandle{answer_};
}

bool FocusTracker::counts(XId window) const {
    if (window == None || isVirtualWindow(window) || connection_.isOurWindow(window)) return false;
    if (window == taskbar_ || connection_.lost() || window == DefaultRootWindow(connection_.display())) return false;
    if (!windowExists(connection_, window)) return false;
    if (windowProcessId(connection_, window) == ::getpid() || claimedProcessId(connection_, window) == ::getpid())
        return false;
    const bool excluded = isDesktopOrDock(connection_, window);
    connection_.flush();
    return !excluded;
}

void FocusTracker::onEvent(const XEvent& e) {
    if (!tracking_) return;
    if (e.type == PropertyNotify && e.xproperty.window == root_ &&
        (e.xproperty.atom == activeAtom_ || e.xproperty.atom == checkAtom_)) {
        update();
    } else if (e.type == DestroyNotify && watchedCheck_ != None && e.xdestroywindow.window == watchedCheck_) {
        // The window manager ended: from now on the input focus tells.
        watchedCheck_ = None;
        update();
    }
}

void FocusTracker::update() const {
    if (!tracking_ || connection_.lost()) return;
    watchManager(windowManagerCheck(connection_));
    const bool follows = followsActiveWindowProperty(connection_);
    const XId active = activeWindow(connection_);
    if (active != lastSeen_) {
        lastSeen_ = active;
        if (counts(active)) answer_ = active;
    }
    if (follows) cancelPoll();
    else schedulePoll();
}

void FocusTracker::watchManager(XId check) const {
    if (check == None || check == watchedCheck_) return;
    watchedCheck_ = check;
    addInput(connection_.display(), check, StructureNotifyMask);
    connection_.flush();
}

void FocusTracker::schedulePoll() const {
    if (pollTimer_ != 0) return;
    pollTimer_ = connection_.loop().startTimer(kFocusPollPeriod, [this] {
        pollTimer_ = 0;
        update();
    });
}

void FocusTracker::cancelPoll() const {
    if (pollTimer_ == 0) return;
    connection_.loop().cancelTimer(pollTimer_);
    pollTimer_ = 0;
}

}  // namespace platform::x11
