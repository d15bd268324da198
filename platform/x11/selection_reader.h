#pragma once

// Reads a selection from whichever program owns it, as ICCCM describes: one conversion request
// at a time, the reply in a property of our own window, large data in INCR chunks. The owner is
// another program and is not trusted: each request has a time-out and each target a size cap. A
// reply over the cap is never fetched: a plain one is deleted unread, and the chunks of an INCR
// one are deleted unread until it ends (within one more time-out), because the owner serves
// nobody else until its transfer is over.
//
// Results are delivered from Connection::processPendingEvents() or from a loop timer, never
// inside the call that asked.

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/connection.h"

namespace platform::x11 {

struct ReadOptions {
    // How long the owner may take to answer a request, and, in an INCR transfer, to send each
    // next chunk.
    std::chrono::milliseconds timeout{5000};
    // The most bytes taken for one target.
    size_t maxBytes = size_t{256} << 20;
};

enum class ReadStatus {
    Ok,
    NoOwner,    // nobody owns the selection
    Refused,    // the owner cannot give that target
    Timeout,    // the owner did not answer in time
    TooLarge,   // more than maxBytes
    BadReply,   // a reply that does not follow the protocol
    Lost,       // the connection broke, or the reader was cancelled
};

struct ReadResult {
    ReadStatus status = ReadStatus::Lost;
    std::string target;
    std::string type;      // the property type the owner gave (often the target itself)
    int format = 0;        // 8, 16 or 32
    std::string data;      // the bytes; items of format 16 or 32 as 16- or 32-bit numbers in
                           // this machine's byte order
    bool incremental = false;  // the data came in INCR chunks
};

// What the owner offers and what was read of it.
struct Snapshot {
    // Ok when TARGETS was read and the owner answered every request (refusals included); the
    // status that ended the snapshot early otherwise.
    ReadStatus status = ReadStatus::Lost;
    std::vector<std::string> offered;      // the owner's targets, in its order
    std::vector<ReadResult> items;         // one per group that was read, in the groups' order
};

class SelectionReader {
public:
    using Done = std::function<void(ReadResult)>;
    using TargetsDone = std::function<void(ReadStatus, std::vector<std::string>)>;
    // From the offered targets, the groups of targets to read: of each group, the first target
    // that reads successfully is kept, the others being fallbacks.
    using Chooser = std::function<std::vector<std::vector<std::string>>(const std::vector<std::string>& offered)>;

    explicit SelectionReader(Connection& connection, std::string selection = "CLIPBOARD",
                             ReadOptions options = {});
    ~SelectionReader();  // requests still running end without their callbacks
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    // Asks the owner for one target. `time` is the timestamp of the event that caused the
    // read (0: the current time). Requests run one after the other, in the order asked.
    void readTarget(std::string target, Done done, XTime time = 0);
    // The owner's TARGETS as names, in its order; atoms the server cannot name are left out.
    void readTargets(TargetsDone done, XTime time = 0);
    // TARGETS, then the chosen groups one by one.
    void readSnapshot(Chooser choose, std::function<void(Snapshot)> done, XTime time = 0);

    // Ends every request; their callbacks get ReadStatus::Lost (from the loop).
    void cancelAll();
    bool busy() const { return active_ != nullptr || !queue_.empty(); }

    const ReadOptions& options() const { return options_; }
    void setOptions(const ReadOptions& options) { options_ = options; }
    XId window() const { return window_; }

private:
    struct Request;

    void startNext();
    void begin(Request& r);
    void finish(ReadStatus status);
    void onEvent(const _XEvent& event);
    void onSelectionNotify(const _XEvent& event);
    void onPropertyNotify(const _XEvent& event);
    void readIncrementChunk();
    void armTimer();
    void disarmTimer();
    void deliver(std::unique_ptr<Request> r);
    std::vector<std::string> atomNames(const ReadResult& result);

    Connection& connection_;
    std::string selectionName_;
    XAtom selection_ = 0;
    XAtom incrAtom_ = 0;
    ReadOptions options_;
    XId window_ = 0;
    Connection::HandlerId handler_ = 0;
    std::vector<XAtom> properties_;  // a small rotating pool, so a late reply to an abandoned
    size_t nextProperty_ = 0;        // request cannot be taken for the answer to a later one
    std::unique_ptr<Request> active_;
    std::deque<std::unique_ptr<Request>> queue_;
    EventLoop::TimerId timer_ = 0;
    std::shared_ptr<bool> alive_;
};

}  // namespace platform::x11
