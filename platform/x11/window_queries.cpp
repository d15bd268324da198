#include "platform/x11/window_queries.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

namespace platform::x11 {

namespace {

// One 32-bit item of the window's property, when it has exactly that type.
bool readWindowItem(Display* d, Window w, Atom property, Atom type, unsigned long& value) {
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

bool hasProperty(Display* d, Window w, Atom property) {
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 0, False, AnyPropertyType, &actualType, &format, &items, &after,
                           &data) != Success)
        return false;
    if (data) XFree(data);
    return actualType != None;
}

struct Tree {
    Window root = None;
    Window parent = None;
    std::vector<Window> children;  // bottom to top
};

bool queryTree(Display* d, Window w, Tree& tree) {
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, w, &tree.root, &tree.parent, &children, &count)) return false;
    tree.children.assign(children, children + count);
    if (children) XFree(children);
    return true;
}

// The window carrying WM_STATE at or below `w`, breadth first and only a few levels down: a
// frame holds its client near the top, and a search through a whole application's windows
// would cost a round trip each.
Window clientBelow(Display* d, Window w, Atom wmState) {
    std::vector<Window> level{w};
    for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
        std::vector<Window> next;
        for (Window candidate : level) {
            if (hasProperty(d, candidate, wmState)) return candidate;
            Tree tree;
            if (queryTree(d, candidate, tree)) next.insert(next.end(), tree.children.rbegin(), tree.children.rend());
        }
        level = std::move(next);
    }
    return None;
}

XId topLevel(Connection& c, XId window) {
    Display* d = c.display();
    const Window root = DefaultRootWindow(d);
    if (window == None || window == root || isVirtualWindow(window)) return None;
    const Atom wmState = c.atom("WM_STATE");
    Window w = window;
    for (;;) {
        // A client window of a reparenting manager: the answer, however deep its frame is.
        if (hasProperty(d, w, wmState)) return w;
        Tree tree;
        if (!queryTree(d, w, tree)) return None;  // gone
        if (tree.parent == tree.root || tree.parent == None) break;
        w = tree.parent;
    }
    // `w` is the child of the root: the frame when `window` was the frame itself (a manager
    // that focuses frames), else the program's own window without a manager.
    const Window client = clientBelow(d, w, wmState);
    return client != None ? client : w;
}

XId managerCheck(Connection& c) {
    Display* d = c.display();
    const Atom check = c.atom("_NET_SUPPORTING_WM_CHECK");
    unsigned long w = None, self = None;
    if (!readWindowItem(d, DefaultRootWindow(d), check, XA_WINDOW, w) || w == None) return None;
    // A manager that ended leaves the root's property behind, naming a window that is gone.
    if (!readWindowItem(d, w, check, XA_WINDOW, self) || self != w) return None;
    return w;
}

bool activeProperty(Connection& c, unsigned long& active) {
    Display* d = c.display();
    return managerCheck(c) != None &&
           readWindowItem(d, DefaultRootWindow(d), c.atom("_NET_ACTIVE_WINDOW"), XA_WINDOW, active);
}

XId focusedTopLevel(Connection& c) {
    Display* d = c.display();
    Window focus = None;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    if (focus == PointerRoot) {
        Window root = None, child = None;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &mask)) return None;
        focus = child;
    }
    return topLevel(c, focus);
}

}  // namespace

std::string windowClass(Connection& connection, XId window) {
    if (connection.lost() || window == None || isVirtualWindow(window)) return {};
    XClassHint hint{};
    std::string result;
    if (XGetClassHint(connection.display(), window, &hint)) {
        if (hint.res_class) result = hint.res_class;
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
    connection.flush();
    return result;
}

bool windowExists(Connection& connection, XId window) {
    if (connection.lost() || window == None || isVirtualWindow(window)) return false;
    XWindowAttributes attributes;
    const bool exists = XGetWindowAttributes(connection.display(), window, &attributes) != 0;
    connection.flush();
    return exists;
}

XId topLevelWindow(Connection& connection, XId window) {
    if (connection.lost()) return None;
    const XId result = topLevel(connection, window);
    connection.flush();
    return result;
}

XId windowManagerCheck(Connection& connection) {
    if (connection.lost()) return None;
    const XId result = managerCheck(connection);
    connection.flush();
    return result;
}

bool followsActiveWindowProperty(Connection& connection) {
    if (connection.lost()) return false;
    unsigned long active = None;
    const bool follows = activeProperty(connection, active);
    connection.flush();
    return follows;
}

XId activeWindow(Connection& connection) {
    if (connection.lost()) return None;
    unsigned long active = None;
    const XId result = activeProperty(connection, active) ? active : focusedTopLevel(connection);
    connection.flush();
    return result;
}

}  // namespace platform::x11
