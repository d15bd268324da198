#pragma once

// Keeps the history file up to date without holding up the event loop. On the loop thread a
// save takes only a snapshot of the lists (names, settings, the shared records, which never
// change once complete); a worker thread writes it. At most one save runs: a change during a
// save makes one more save once it ends, of the state then. At exit the last state is written
// after the running save has ended.

#include <cstdint>
#include <functional>
#include <memory>

#include "app/serial_worker.h"
#include "platform/event_loop.h"

namespace cb {
class History;
}

namespace app {

class HistorySaver {
public:
    // Writes a history to its file; true when written. Runs on the worker (and, for
    // saveAndWait(), on the loop's thread), never twice at once.
    using Write = std::function<bool(const cb::History& history)>;

    // `history` is only read on the loop's thread. `onSaved` hears each worker save's result on
    // the loop's thread.
    HistorySaver(platform::EventLoop& loop, const cb::History& history, Write write,
                 std::function<void(bool written)> onSaved = {});
    // Waits for a save under way; starts none.
    ~HistorySaver();
    HistorySaver(const HistorySaver&) = delete;
    HistorySaver& operator=(const HistorySaver&) = delete;

    // Saves the present state: at once when no save runs, else once after the running one.
    void save();
    // Waits for a save under way, then writes the present state on this thread; its result.
    bool saveAndWait();
    // A save runs, or one more waits for it.
    bool saving() const { return running_; }

private:
    void begin();
    void finished(uint64_t generation, bool written);

    platform::EventLoop& loop_;
    const cb::History& history_;
    Write write_;
    std::function<void(bool)> onSaved_;
    bool running_ = false;
    bool again_ = false;
    uint64_t generation_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    SerialWorker worker_;  // last: its thread ends first
};

}  // namespace app
