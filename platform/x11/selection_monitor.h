#pragma once

// Tells when another program (or we) became the owner of a selection, or when the owner's window
// or whole connection went away, through the XFixes extension. What the engine calls joining
// and leaving the clipboard chain is start() and stop(). Only the selection given is watched:
// the clipboard monitor watches CLIPBOARD, never PRIMARY, which changes with every mouse
// selection.

#include <functional>
#include <string>

#include "platform/x11/connection.h"

namespace platform::x11 {

enum class SelectionChangeKind {
    NewOwner,               // someone (owner names whom) took the selection, or gave it up (0)
    OwnerWindowDestroyed,   // the owner's window went away; nobody owns it now
    OwnerClientClosed,      // the owner's connection closed (the program exited); nobody owns it
};

struct SelectionChange {
    SelectionChangeKind kind = SelectionChangeKind::NewOwner;
    XId owner = 0;               // the new owner's window for NewOwner, else 0
    bool ours = false;           // the owner is a window of this connection (our own write)
    XTime timestamp = 0;         // when the server noticed
    XTime selectionTimestamp = 0;  // the ownership's own time: what a reader passes on
};

class SelectionMonitor {
public:
    using Callback = std::function<void(const SelectionChange&)>;

    explicit SelectionMonitor(Connection& connection, std::string selection = "CLIPBOARD");
    ~SelectionMonitor();
    SelectionMonitor(const SelectionMonitor&) = delete;
    SelectionMonitor& operator=(const SelectionMonitor&) = delete;

    // Starts (or restarts with a new callback) reporting changes; called from the event
    // dispatch for every change after this call. No report is made for the owner at the time
    // of the call.
    void start(Callback callback);
    // Stops reporting; changes from before the call that are still queued are dropped too.
    void stop();
    bool running() const { return running_; }

private:
    void onEvent(const _XEvent& event);

    Connection& connection_;
    std::string selectionName_;
    XAtom selection_ = 0;
    XId window_ = 0;
    Connection::HandlerId handler_ = 0;
    bool running_ = false;
    Callback callback_;
};

}  // namespace platform::x11
