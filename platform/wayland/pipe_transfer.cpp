#include "platform/wayland/pipe_transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace platform::wayland {

Pipe makePipe() {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) return {};
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return {ends[0], ends[1]};
}

// ---- reading

PipeRead::PipeRead(DescriptorPoller& poller, EventLoop& loop, int fd, size_t maxBytes,
                   std::chrono::milliseconds timeout, Done done)
    : poller_(poller), loop_(loop), fd_(fd), maxBytes_(maxBytes), timeout_(timeout), done_(std::move(done)) {
    if (fd_ < 0 || !poller_.watch(fd_, DescriptorPoller::Wait::Readable, [this] { onReadable(); })) {
        // Reported from the loop, as every other end is.
        timer_ = loop_.startTimer(std::chrono::milliseconds(0), [this] {
            timer_ = 0;
            finish(TransferStatus::Failed);
        });
        return;
    }
    armTimer();
}

PipeRead::~PipeRead() {
    if (timer_ != 0) loop_.cancelTimer(timer_);
    if (fd_ >= 0) {
        poller_.unwatch(fd_);
        close(fd_);
    }
}

void PipeRead::armTimer() {
    if (timer_ != 0) loop_.cancelTimer(timer_);
    timer_ = loop_.startTimer(timeout_, [this] {
        timer_ = 0;
        finish(TransferStatus::Timeout);
    });
}

void PipeRead::onReadable() {
    std::array<char, 65536> buffer;
    bool progressed = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n > 0) {
            if (data_.size() + static_cast<size_t>(n) > maxBytes_) return finish(TransferStatus::TooBig);
            data_.append(buffer.data(), static_cast<size_t>(n));
            progressed = true;
            continue;
        }
        if (n == 0) return finish(TransferStatus::Ok);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        return finish(TransferStatus::Failed);
    }
    if (progressed) armTimer();
}

void PipeRead::finish(TransferStatus status) {
    if (timer_ != 0) loop_.cancelTimer(timer_);
    timer_ = 0;
    if (fd_ >= 0) {
        poller_.unwatch(fd_);
        close(fd_);
        fd_ = -1;
    }
    std::string data = status == TransferStatus::Ok ? std::move(data_) : std::string();
    // Last: the callback may destroy this object.
    Done done = std::move(done_);
    if (done) done(status, std::move(data));
}

// ---- writing

PipeWrite::PipeWrite(DescriptorPoller& poller, EventLoop& loop, int fd, std::shared_ptr<const std::string> bytes,
                     std::chrono::milliseconds timeout, Done done)
    : poller_(poller), loop_(loop), fd_(fd), bytes_(std::move(bytes)), timeout_(timeout), done_(std::move(done)) {
    if (fd_ >= 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    if (fd_ < 0 || !poller_.watch(fd_, DescriptorPoller::Wait::Writable, [this] { onWritable(); })) {
        timer_ = loop_.startTimer(std::chrono::milliseconds(0), [this] {
            timer_ = 0;
            finish(TransferStatus::Failed);
        });
        return;
    }
    armTimer();
}

PipeWrite::~PipeWrite() {
    if (timer_ != 0) loop_.cancelTimer(timer_);
    if (fd_ >= 0) {
        poller_.unwatch(fd_);
        close(fd_);
    }
}

void PipeWrite::armTimer() {
    if (timer_ != 0) loop_.cancelTimer(timer_);
    timer_ = loop_.startTimer(timeout_, [this] {
        timer_ = 0;
        finish(TransferStatus::Timeout);
    });
}

void PipeWrite::onWritable() {
    bool progressed = false;
    while (written_ < bytes_->size()) {
        const ssize_t n = ::write(fd_, bytes_->data() + written_, bytes_->size() - written_);
        if (n > 0) {
            written_ += static_cast<size_t>(n);
            progressed = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return finish(TransferStatus::Failed);
    }
    if (written_ == bytes_->size()) return finish(TransferStatus::Ok);
    if (progressed) armTimer();
}

void PipeWrite::finish(TransferStatus status) {
    if (timer_ != 0) loop_.cancelTimer(timer_);
    timer_ = 0;
    if (fd_ >= 0) {
        poller_.unwatch(fd_);
        close(fd_);
        fd_ = -1;
    }
    Done done = std::move(done_);
    if (done) done(status);
}

}  // namespace platform::wayland
