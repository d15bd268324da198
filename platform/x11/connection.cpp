#include "platform/x11/connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <mutex>

namespace platform::x11 {

// Xlib's error handlers are process-wide functions; they find the connection through this.
struct ConnectionAccess {
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::map<Display*, Connection*>& registry() {
        static std::map<Display*, Connection*> r;
        return r;
    }

    // The handlers that stood before ours: other displays of the process (a toolkit's) keep
    // theirs.
    static XErrorHandler& previousError() {
        static XErrorHandler h = nullptr;
        return h;
    }
    static XIOErrorHandler& previousIoError() {
        static XIOErrorHandler h = nullptr;
        return h;
    }
    static bool ours(Display* display) {
        std::lock_guard lock(mutex());
        auto it = registry().find(display);
        return it != registry().end();
    }

    static int onError(Display* display, XErrorEvent* event) {
        {
            std::lock_guard lock(mutex());
            auto it = registry().find(display);
            if (it != registry().end()) {
                ++it->second->errors_;
                return 0;
            }
        }
        const XErrorHandler previous = previousError();
        return previous ? previous(display, event) : 0;
    }
    // Called after an I/O error instead of Xlib's exit(): the display stays unusable, and the
    // owner of the connection decides what to do.
    static void onIoErrorExit(Display*, void* self) { static_cast<Connection*>(self)->markLost(); }
    // Xlib's own I/O error handler prints and then calls the exit handler; we stay quiet about
    // ours.
    static int onIoError(Display* display) {
        if (ours(display)) return 0;
        const XIOErrorHandler previous = previousIoError();
        return previous ? previous(display) : 0;
    }

    // Each time a connection opens, in case somebody (a toolkit starting after us) replaced
    // ours in the meantime; theirs is then passed what is not ours.
    static void installHandlers() {
        std::lock_guard lock(mutex());
        const XErrorHandler error = XSetErrorHandler(&ConnectionAccess::onError);
        if (error != &ConnectionAccess::onError) previousError() = error;
        const XIOErrorHandler io = XSetIOErrorHandler(&ConnectionAccess::onIoError);
        if (io != &ConnectionAccess::onIoError) previousIoError() = io;
    }
};

std::unique_ptr<Connection> Connection::open(EventLoop& loop, const char* displayName, std::string* error) {
    ConnectionAccess::installHandlers();
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        if (error) *error = std::string("cannot open display ") + XDisplayName(displayName);
        return nullptr;
    }
    int eventBase = 0, errorBase = 0;
    int major = 0, minor = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) || !XFixesQueryVersion(display, &major, &minor) ||
        major < 1) {
        XCloseDisplay(display);
        if (error) *error = "the X server lacks the XFixes extension";
        return nullptr;
    }
    std::unique_ptr<Connection> c(new Connection(loop, display));
    c->xfixesEventBase_ = eventBase;
    return c;
}

Connection::Connection(EventLoop& loop, _XDisplay* display)
    : loop_(loop), display_(display), alive_(std::make_shared<bool>(true)) {
    {
        std::lock_guard lock(ConnectionAccess::mutex());
        ConnectionAccess::registry()[display_] = this;
    }
    XSetIOErrorExitHandler(display_, &ConnectionAccess::onIoErrorExit, this);
    // The loop reads the connection when its descriptor is readable, and at the end of every
    // round sends what Xlib has buffered and empties what it has queued (our own round trips and
    // sends read events along the way, and the descriptor no longer shows them).
    loop_.watch(fd(), [this] { processPendingEvents(); });
    roundEnd_ = loop_.addRoundEnd([this] { finishRound(); });
}

Connection::~Connection() {
    loop_.removeRoundEnd(roundEnd_);
    loop_.unwatch(fd());
    alive_.reset();
    if (!lost_) {
        for (XId w : windows_) XDestroyWindow(display_, w);
    }
    XCloseDisplay(display_);
    std::lock_guard lock(ConnectionAccess::mutex());
    ConnectionAccess::registry().erase(display_);
}

int Connection::fd() const { return ConnectionNumber(display_); }

void Connection::markLost() {
    if (lost_) return;
    lost_ = true;
    loop_.post([weak = std::weak_ptr<bool>(alive_), this] {
        if (weak.lock() && onLost_) onLost_();
    });
}

void Connection::scheduleProcessing() {
    if (processingPosted_ || lost_) return;
    processingPosted_ = true;
    loop_.post([weak = std::weak_ptr<bool>(alive_), this] {
        if (weak.lock()) processPendingEvents();
    });
}

void Connection::processPendingEvents() {
    processingPosted_ = false;
    while (!lost_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (lost_) break;
        std::vector<HandlerId> ids;
        ids.reserve(handlers_.size());
        for (const auto& [id, handler] : handlers_) ids.push_back(id);
        for (HandlerId id : ids) {
            auto it = std::find_if(handlers_.begin(), handlers_.end(), [id](const auto& h) { return h.first == id; });
            if (it == handlers_.end()) continue;
            EventHandler handler = it->second;  // the handler may remove itself
            handler(event);
            if (lost_) return;
        }
    }
}

void Connection::finishRound() {
    if (lost_) return;
    // XPending sends what is buffered and then takes in what has arrived: sending reads too,
    // and what it read sits in Xlib's queue where the descriptor no longer shows it. Handling
    // ends the same way, with nothing buffered and nothing queued.
    if (XPending(display_) > 0) processPendingEvents();
}

void Connection::flush() {
    if (lost_) return;
    XFlush(display_);
    if (!lost_ && XQLength(display_) > 0) scheduleProcessing();
}

Connection::HandlerId Connection::addEventHandler(EventHandler handler) {
    const HandlerId id = nextHandler_++;
    handlers_.emplace_back(id, std::move(handler));
    return id;
}

void Connection::removeEventHandler(HandlerId id) {
    std::erase_if(handlers_, [id](const auto& h) { return h.first == id; });
}

XAtom Connection::atom(std::string_view name) {
    if (auto it = atoms_.find(name); it != atoms_.end()) return it->second;
    if (lost_) return None;
    const std::string key(name);
    const Atom a = XInternAtom(display_, key.c_str(), False);
    if (a == None) return None;
    atoms_.emplace(key, a);
    atomNames_.emplace(a, key);
    scheduleProcessing();  // the round trip may have queued events
    return a;
}

std::string Connection::atomName(XAtom a) {
    if (a == None) return {};
    if (auto it = atomNames_.find(a); it != atomNames_.end()) return it->second;
    if (lost_) return {};
    char* name = XGetAtomName(display_, a);
    if (XQLength(display_) > 0) scheduleProcessing();
    if (!name) return {};
    std::string result(name);
    XFree(name);
    atomNames_.emplace(a, result);
    atoms_.emplace(result, a);
    return result;
}

XId Connection::createWindow() {
    if (lost_) return None;
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    attributes.override_redirect = True;
    const Window w = XCreateWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, CopyFromParent,
                                   InputOnly, CopyFromParent, CWEventMask | CWOverrideRedirect, &attributes);
    if (w != None) windows_.push_back(w);
    flush();
    return w;
}

void Connection::destroyWindow(XId window) {
    auto it = std::find(windows_.begin(), windows_.end(), window);
    if (it == windows_.end()) return;
    windows_.erase(it);
    if (lost_) return;
    XDestroyWindow(display_, window);
    flush();
}

bool Connection::isOurWindow(XId window) const {
    return window != None && std::find(windows_.begin(), windows_.end(), window) != windows_.end();
}

XTime Connection::serverTime(XId window) {
    if (lost_ || !isOurWindow(window)) return CurrentTime;
    if (timeProbe_ == None) timeProbe_ = atom("_QUILLET_TIME_PROBE");
    XChangeProperty(display_, window, timeProbe_, XA_INTEGER, 8, PropModeAppend, nullptr, 0);
    // The server sends the PropertyNotify before it answers the round trip, so after XSync the
    // event is in the queue and no wait without a bound is needed.
    XSync(display_, False);
    struct Match {
        Window window;
        Atom atom;
    } match{window, timeProbe_};
    auto predicate = [](Display*, XEvent* e, XPointer arg) -> Bool {
        const auto* m = reinterpret_cast<const Match*>(arg);
        return e->type == PropertyNotify && e->xproperty.window == m->window && e->xproperty.atom == m->atom;
    };
    XEvent event;
    XTime time = CurrentTime;
    if (!lost_ && XCheckIfEvent(display_, &event, predicate, reinterpret_cast<XPointer>(&match)))
        time = event.xproperty.time;
    if (!lost_ && XQLength(display_) > 0) scheduleProcessing();
    return time;
}

XId Connection::selectionOwner(std::string_view selection) {
    const XAtom a = atom(selection);
    if (lost_ || a == None) return None;
    const Window owner = XGetSelectionOwner(display_, a);
    if (!lost_ && XQLength(display_) > 0) scheduleProcessing();
    return owner;
}

size_t Connection::maxRequestBytes() const {
    if (lost_) return 0;
    return static_cast<size_t>(XMaxRequestSize(display_)) * 4;
}

}  // namespace platform::x11
