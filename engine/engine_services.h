#pragma once

// What the engine calls on the rest of the program after it acted. The application fills these
// in; the engine works without any of them.

#include "model/record.h"
#include "persist/config/network_address.h"

namespace engine {

struct KeyEvent;

// Sends a captured record to one other computer, on a transfer of its own. Called once per
// automatic-send host, in the configured order, only while automatic sending is on.
class AutoSendTarget {
public:
    // True when the transfer was started; false when the record cannot be sent to that host
    // (the host is then skipped).
    virtual bool sendRecord(const NetworkAddress& host, const cb::RecordPtr& record) = 0;

protected:
    ~AutoSendTarget() = default;
};

// The tray icon's "something was captured" animation.
class TrayAnimation {
public:
    virtual void startTrayAnimation() = 0;

protected:
    ~TrayAnimation() = default;
};

// Where the keyboard hook hands every key event it does not ignore: the windows that react to
// the program's shortcuts.
class KeyboardDispatch {
public:
    // True when the event was used: it is then swallowed and no program sees it.
    virtual bool dispatchKey(const KeyEvent& event) = 0;

protected:
    ~KeyboardDispatch() = default;
};

}  // namespace engine
