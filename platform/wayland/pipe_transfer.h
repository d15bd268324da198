#pragma once

// Data moves between Wayland clients through pipes: the receiving client makes a pipe and hands
// its write end to the sending one through the compositor. Both directions here run on the
// event loop without ever blocking it: the descriptor is non-blocking and watched, and a
// transfer that stops making progress for longer than its time limit ends.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/wayland/descriptor_poller.h"

namespace platform::wayland {

// A pipe whose read end is non-blocking; both ends close-on-exec. Both -1 when none can be made.
struct Pipe {
    int read = -1;
    int write = -1;
};
Pipe makePipe();

enum class TransferStatus {
    Ok,       // everything read (the writer closed its end) or written
    Timeout,  // no progress within the time limit
    TooBig,   // more than the cap arrived
    Failed,   // the descriptor failed (or the reader closed its end early)
};

// Reads the read end of a pipe to its end. The callback comes once, from the loop; the object
// may be destroyed inside it. Destroying it earlier cancels the read without a callback. The
// descriptor is closed by the object.
class PipeRead {
public:
    using Done = std::function<void(TransferStatus status, std::string data)>;

    PipeRead(DescriptorPoller& poller, EventLoop& loop, int fd, size_t maxBytes,
             std::chrono::milliseconds timeout, Done done);
    ~PipeRead();
    PipeRead(const PipeRead&) = delete;
    PipeRead& operator=(const PipeRead&) = delete;

private:
    void onReadable();
    void armTimer();
    void finish(TransferStatus status);

    DescriptorPoller& poller_;
    EventLoop& loop_;
    int fd_;
    size_t maxBytes_;
    std::chrono::milliseconds timeout_;
    Done done_;
    std::string data_;
    EventLoop::TimerId timer_ = 0;
};

// Writes bytes to the write end of a pipe, then closes it. The callback comes once, from the
// loop; the object may be destroyed inside it, and destroying it earlier stops the write. A
// reader that closes its end early ends the write as Failed (the program must ignore SIGPIPE).
class PipeWrite {
public:
    using Done = std::function<void(TransferStatus status)>;

    PipeWrite(DescriptorPoller& poller, EventLoop& loop, int fd, std::shared_ptr<const std::string> bytes,
              std::chrono::milliseconds timeout, Done done);
    ~PipeWrite();
    PipeWrite(const PipeWrite&) = delete;
    PipeWrite& operator=(const PipeWrite&) = delete;

private:
    void onWritable();
    void armTimer();
    void finish(TransferStatus status);

    DescriptorPoller& poller_;
    EventLoop& loop_;
    int fd_;
    std::shared_ptr<const std::string> bytes_;
    size_t written_ = 0;
    std::chrono::milliseconds timeout_;
    Done done_;
    EventLoop::TimerId timer_ = 0;
};

}  // namespace platform::wayland
