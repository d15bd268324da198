// A window for the tests to paste into, behaving as an ordinary X application does: it shows a
// window of the given class, writes down every key it receives, and on the paste chords asks
// for the selection and keeps what it got.
//
//   paste_target --class NAME --keys FILE --pasted FILE [--name INSTANCE] [--type TYPE] [--pid PID]
//
//   --class   the class in WM_CLASS (what the desktop tells programs apart by)
//   --name    the instance in WM_CLASS (default: paste_target)
//   --type    normal (default), desktop or dock: its _NET_WM_WINDOW_TYPE
//   --pid     the _NET_WM_PID it claims (default: its own): a window that stands for a window
//             of another process, such as one of the daemon's
//   --keys    one line per event: "press KEYSYM STATE" or "release KEYSYM STATE" (the key's own
//             symbol, as XKeysymToString names it, and the modifier state before the event in
//             hex), "paste SELECTION" when it asks for one, "paste-failed SELECTION" when the
//             owner refused
//   --pasted  what each paste brought (UTF8_STRING), appended as it arrives
//   --grab    a key (its keysym name) that it holds with Super as a global shortcut, as a desktop
//             that keeps Super+V for itself does
//
// Ctrl+V and Ctrl+Shift+V paste CLIPBOARD, Shift+Insert pastes PRIMARY. Once the window is
// mapped it prints its id (decimal) and a newline on stdout. It ends on SIGTERM or SIGINT, or
// when the window manager closes the window.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

struct Options {
    std::string wmClass, instance = "paste_target", type = "normal", keysPath, pastedPath, grab;
    long pid = 0;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--class") o.wmClass = value;
        else if (key == "--name") o.instance = value;
        else if (key == "--type") o.type = value;
        else if (key == "--keys") o.keysPath = value;
        else if (key == "--pasted") o.pastedPath = value;
        else if (key == "--pid") o.pid = std::atol(value.c_str());
        else if (key == "--grab") o.grab = value;
        else return false;
    }
    return argc % 2 == 1 && !o.wmClass.empty() && !o.keysPath.empty() && !o.pastedPath.empty() &&
           (o.type == "normal" || o.type == "desktop" || o.type == "dock");
}

// Appends to a file that the tests read while we run, so every write goes out at once.
void append(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

class PasteTarget {
public:
    PasteTarget(Display* d, const Options& o) : d_(d), options_(o) {
        clipboard_ = XInternAtom(d, "CLIPBOARD", False);
        utf8_ = XInternAtom(d, "UTF8_STRING", False);
        incr_ = XInternAtom(d, "INCR", False);
        property_ = XInternAtom(d, "PASTE_TARGET_DATA", False);
        deleteWindow_ = XInternAtom(d, "WM_DELETE_WINDOW", False);
    }

    Window create() {
        const int screen = DefaultScreen(d_);
        window_ = XCreateSimpleWindow(d_, RootWindow(d_, screen), 0, 0, 300, 200, 1, BlackPixel(d_, screen),
                                      WhitePixel(d_, screen));
        XSelectInput(d_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask | PropertyChangeMask);

        XClassHint classHint{options_.instance.data(), options_.wmClass.data()};
        XWMHints wmHints{};
        wmHints.flags = InputHint | StateHint;
        wmHints.input = True;
        wmHints.initial_state = NormalState;
        std::string title = "paste_target " + options_.wmClass;
        XTextProperty name{};
        char* titlePointer = title.data();
        XStringListToTextProperty(&titlePointer, 1, &name);
        XSetWMProperties(d_, window_, &name, &name, nullptr, 0, nullptr, &wmHints, &classHint);
        if (name.value) XFree(name.value);
        XSetWMProtocols(d_, window_, &deleteWindow_, 1);

        const long pid = options_.pid > 0 ? options_.pid : ::getpid();
        XChangeProperty(d_, window_, XInternAtom(d_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        const Atom type = XInternAtom(d_, ("_NET_WM_WINDOW_TYPE_" + upper(options_.type)).c_str(), False);
        XChangeProperty(d_, window_, XInternAtom(d_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&type), 1);
        if (!options_.grab.empty()) grabWithSuper(XStringToKeysym(options_.grab.c_str()));
        XMapWindow(d_, window_);
        XFlush(d_);
        return window_;
    }

    // False once the window is closed.
    bool handle(XEvent& e) {
        switch (e.type) {
            case MapNotify:
                if (!announced_) {
                    announced_ = true;
                    std::printf("%lu\n", window_);
                    std::fflush(stdout);
                }
                break;
            case MappingNotify: XRefreshKeyboardMapping(&e.xmapping); break;
            case KeyPress:
            case KeyRelease: onKey(e.xkey); break;
            case SelectionNotify: onSelectionNotify(e.xselection); break;
            case PropertyNotify:
                if (e.xproperty.window == window_ && e.xproperty.atom == property_ &&
                    e.xproperty.state == PropertyNewValue && receivingIncr_)
                    onIncrChunk();
                break;
            case ClientMessage:
                if (static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow_) return false;
                break;
            case DestroyNotify:
                if (e.xdestroywindow.window == window_) return false;
                break;
        }
        return true;
    }

private:
    void grabWithSuper(KeySym sym) {
        unsigned superMask = 0;
        XModifierKeymap* map = XGetModifierMapping(d_);
        const KeyCode super = XKeysymToKeycode(d_, XK_Super_L);
        for (int i = 0; i < 8 * map->max_keypermod; ++i)
            if (map->modifiermap[i] == super) superMask = 1u << (i / map->max_keypermod);
        XFreeModifiermap(map);
        XGrabKey(d_, XKeysymToKeycode(d_, sym), superMask, DefaultRootWindow(d_), False, GrabModeAsync, GrabModeAsync);
        XSync(d_, False);
    }

    static std::string upper(std::string s) {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    void log(const std::string& line) { append(options_.keysPath, line + "\n"); }

    void onKey(XKeyEvent& key) {
        const KeySym sym = XLookupKeysym(&key, 0);
        const char* name = XKeysymToString(sym);
        char state[16];
        std::snprintf(state, sizeof state, "0x%x", key.state);
        log(std::string(key.type == KeyPress ? "press " : "release ") + (name ? name : "NoSymbol") + " " + state);
        if (key.type != KeyPress) return;
        if (sym == XK_v && (key.state & ControlMask)) request(clipboard_, key.time);
        else if (sym == XK_Insert && (key.state & ShiftMask) && !(key.state & ControlMask)) request(XA_PRIMARY, key.time);
    }

    // One transfer at a time, as the selection arrives in our one property; the others wait.
    void request(Atom selection, Time time) {
        pending_.push_back({selection, time});
        if (!busy_) startNext();
    }

    void startNext() {
        if (pending_.empty()) return;
        const Request r = pending_.front();
        pending_.pop_front();
        busy_ = true;
        current_ = r.selection;
        char* name = XGetAtomName(d_, r.selection);
        log(std::string("paste ") + (name ? name : "?"));
        if (name) XFree(name);
        XDeleteProperty(d_, window_, property_);
        XConvertSelection(d_, r.selection, utf8_, property_, window_, r.time);
        XFlush(d_);
    }

    void finish(bool ok) {
        if (!ok) {
            char* name = XGetAtomName(d_, current_);
            log(std::string("paste-failed ") + (name ? name : "?"));
            if (name) XFree(name);
        }
        busy_ = false;
        receivingIncr_ = false;
        startNext();
    }

    // Reads and deletes the property; false when it is not there.
    bool take(std::string& bytes, Atom& type) {
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d_, window_, property_, 0, 1 << 24, True, AnyPropertyType, &type, &format, &items,
                               &after, &data) != Success)
            return false;
        if (data) {
            const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
            bytes.assign(reinterpret_cast<const char*>(data), items * unit);
            XFree(data);
        }
        return type != None;
    }

    void onSelectionNotify(const XSelectionEvent& e) {
        if (!busy_ || e.requestor != window_) return;
        if (e.property == None) return finish(false);
        std::string bytes;
        Atom type = None;
        if (!take(bytes, type)) return finish(false);
        if (type == incr_) {
            // Deleting the property (take() did) asks the owner for the first chunk.
            receivingIncr_ = true;
            return;
        }
        append(options_.pastedPath, bytes);
        finish(true);
    }

    void onIncrChunk() {
        std::string bytes;
        Atom type = None;
        if (!take(bytes, type)) return;
        if (bytes.empty()) return finish(true);
        append(options_.pastedPath, bytes);
    }

    struct Request {
        Atom selection;
        Time time;
    };

    Display* d_;
    Options options_;
    Window window_ = None;
    Atom clipboard_, utf8_, incr_, property_, deleteWindow_;
    bool announced_ = false;
    bool busy_ = false;
    bool receivingIncr_ = false;
    Atom current_ = None;
    std::deque<Request> pending_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: paste_target --class NAME --keys FILE --pasted FILE [--name INSTANCE] "
                     "[--type normal|desktop|dock] [--pid PID]\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "paste_target: cannot open display\n");
        return 1;
    }
    PasteTarget target(d, options);
    target.create();
    bool open = true;
    while (open && !stopRequested) {
        while (open && XPending(d) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            open = target.handle(e);
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        if (open && ::poll(&p, 1, 50) > 0 && (p.revents & (POLLHUP | POLLERR))) break;
    }
    XCloseDisplay(d);
    return 0;
}
