#pragma once

#include <functional>
#include <iosfwd>

#include "model/record.h"

namespace cb {
class RecordList;
}

namespace cli {

// What only the running daemon can do: it owns the clipboard and the desktop. Commands that
// need it fail when there is none. Called on the daemon's thread.
class DaemonControl {
public:
    virtual ~DaemonControl() = default;

    // Recording the clipboard off and on (option 18).
    virtual void pause() = 0;
    virtual void start() = 0;
    // Puts the record on the clipboard; `list` is the list it was picked from, or null.
    virtual bool copy(cb::RecordPtr record, const cb::RecordList* list) = 0;
    // Puts the record on the clipboard and pastes it into the program that has the keyboard
    // focus; `plain` pastes its text only.
    virtual bool paste(cb::RecordPtr record, const cb::RecordList* list, bool plain) = 0;
    // Opens the popup of records at the caret of the program the user types in; `plainText`
    // pastes only the text of the record picked. False when this program has no windows.
    virtual bool showPopup(bool plainText) {
        (void)plainText;
        return false;
    }

    // The last part of a command that would hold up the daemon (a transfer to another
    // computer waits for the network): it touches nothing of the history or the configuration,
    // and its status and output complete the command's reply. True when the daemon takes it
    // and runs it on a thread of its own; false when the caller is to run it now.
    // An exception it throws fails the command with its message.
    using BackgroundWork = std::function<int(std::ostream& out)>;
    virtual bool finishInBackground(BackgroundWork& work) {
        (void)work;
        return false;
    }
};

}  // namespace cli
