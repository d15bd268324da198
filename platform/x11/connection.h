#pragma once

// One connection to the X server, shared by the selection reader, owner and monitor. It reads
// and dispatches events when the program's loop tells it that its descriptor is readable, and
// keeps what the parts share: interned atoms, the XFixes extension, the windows we made.
//
// Xlib's headers are kept out of this interface (their macros clash with other code): X
// resources appear as their 32-bit-or-wider numbers.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/x11/event_loop.h"

struct _XDisplay;
union _XEvent;

namespace platform::x11 {

using XId = unsigned long;    // a window or other resource; 0 is none
using XAtom = unsigned long;  // 0 is none
using XTime = unsigned long;  // server milliseconds; 0 is "current time"

class Connection {
public:
    using HandlerId = uint64_t;
    using EventHandler = std::function<void(const _XEvent&)>;

    // Opens the display (null: $DISPLAY). Null, with the reason in *error when given, when the
    // server cannot be reached or lacks the XFixes extension.
    static std::unique_ptr<Connection> open(EventLoop& loop, const char* displayName = nullptr,
                                            std::string* error = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    EventLoop& loop() const { return loop_; }
    _XDisplay* display() const { return display_; }
    // The descriptor the loop watches for reading.
    int fd() const;

    // Reads and dispatches every event that has arrived. The connection has the loop call it
    // when fd() is readable and at the end of every round of work when Xlib holds queued
    // events, which the descriptor no longer shows; then it sends what Xlib has buffered.
    void processPendingEvents();
    // Sends what Xlib has buffered; posts processPendingEvents() when events are queued.
    void flush();

    // Handlers see every event, in the order they were added; one may remove itself or others.
    HandlerId addEventHandler(EventHandler handler);
    void removeEventHandler(HandlerId id);

    // The connection broke (server gone). Xlib would end the process; we report it instead,
    // from the loop, and every later call does nothing.
    bool lost() const { return lost_; }
    void setOnLost(std::function<void()> onLost) { onLost_ = std::move(onLost); }

    XAtom atom(std::string_view name);
    // Empty for an atom the server does not know.
    std::string atomName(XAtom atom);

    // An unmapped window of ours, outside the screen, that sees property changes on itself.
    XId createWindow();
    void destroyWindow(XId window);
    bool isOurWindow(XId window) const;

    // The server's current time, from a zero-length change of a property of our window: what
    // an owner gives XSetSelectionOwner (ICCCM forbids CurrentTime there). 0 when lost.
    XTime serverTime(XId window);
    // The current owner of a selection; 0 for none.
    XId selectionOwner(std::string_view selection);

    int xfixesEventBase() const { return xfixesEventBase_; }
    // The most bytes one request may hold without the BIG-REQUESTS extension: what every
    // server takes, and what ICCCM owners use to decide on INCR.
    size_t maxRequestBytes() const;

    // Protocol errors for requests that concern other programs' windows (they may be gone by
    // the time the request arrives) are expected: they are counted, never fatal.
    uint64_t errorCount() const { return errors_; }

private:
    friend struct ConnectionAccess;
    Connection(EventLoop& loop, _XDisplay* display);
    void markLost();
    void scheduleProcessing();
    void finishRound();

    EventLoop& loop_;
    _XDisplay* display_;
    EventLoop::HookId roundEnd_ = 0;
    int xfixesEventBase_ = 0;
    bool lost_ = false;
    bool processingPosted_ = false;
    uint64_t errors_ = 0;
    std::function<void()> onLost_;
    std::shared_ptr<bool> alive_;
    std::vector<std::pair<HandlerId, EventHandler>> handlers_;
    HandlerId nextHandler_ = 1;
    std::map<std::string, XAtom, std::less<>> atoms_;
    std::map<XAtom, std::string> atomNames_;
    std::vector<XId> windows_;
    XAtom timeProbe_ = 0;
};

}  // namespace platform::x11
