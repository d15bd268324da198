#include "app/control_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

ControlReply failed(const char* sentence) {
    return ControlReply{ControlReply::Kind::Done, 1, "", std::string("quillet: ") + sentence + "\n"};
}

// Until the descriptor is ready for `events`; false after the time-out or on an error.
bool waitFor(int fd, short events, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0) return true;  // errors and hang-ups show in the next read or write
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool writeAll(int fd, std::string_view bytes, std::chrono::milliseconds timeout) {
    while (!bytes.empty()) {
        if (!waitFor(fd, POLLOUT, timeout)) return false;
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Appends exactly n bytes, the first within `first`, each later one within `timeout` of the
// one before. The buffer grows with what arrives.
bool readExactly(int fd, std::string& into, size_t n, std::chrono::milliseconds first,
                 std::chrono::milliseconds timeout) {
    std::array<char, 64 * 1024> chunk;
    auto wait = first;
    while (n > 0) {
        if (!waitFor(fd, POLLIN, wait)) return false;
        const ssize_t got = ::recv(fd, chunk.data(), std::min(n, chunk.size()), 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        if (got == 0) return false;  // the daemon closed the connection
        into.append(chunk.data(), static_cast<size_t>(got));
        n -= static_cast<size_t>(got);
        wait = timeout;
    }
    return true;
}

}  // namespace

std::optional<ControlConnection> ControlConnection::open(const std::filesystem::path& socketPath,
                                                         const ClientTimeouts& timeouts) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath.string();
    if (path.empty() || path.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.data(), path.size());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::nullopt;
    // A local connection is made at once or refused, except while the daemon's queue of
    // connections is full: then it is tried again for a while.
    const auto deadline = Clock::now() + timeouts.io;
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return ControlConnection(fd, timeouts);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) break;
        if (Clock::now() >= deadline) {
            ::close(fd);
            return ControlConnection(-1, timeouts);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(fd);
    return std::nullopt;
}

ControlConnection::ControlConnection(ControlConnection&& other) noexcept
    : fd_(other.fd_), timeouts_(other.timeouts_) {
    other.fd_ = -1;
}

ControlConnection& ControlConnection::operator=(ControlConnection&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(timeouts_, other.timeouts_);
    return *this;
}

ControlConnection::~ControlConnection() {
    if (fd_ >= 0) ::close(fd_);
}

ControlReply ControlConnection::exchange(const ControlRequest& request) {
    if (fd_ < 0) return failed("The quillet daemon is too busy to take the command; try again.");
    const auto frame = encodeRequest(request);
    if (!frame) return failed("The command is too large to pass to the quillet daemon.");
    if (!writeAll(fd_, *frame, timeouts_.io)) return failed("The quillet daemon did not answer.");

    std::string header;
    if (!readExactly(fd_, header, control::kHeaderBytes, timeouts_.reply, timeouts_.io))
        return failed("The quillet daemon did not answer.");
    const auto count = replyBodyBytes(header);
    std::string body;
    if (!count || !readExactly(fd_, body, *count, timeouts_.io, timeouts_.io))
        return failed("The quillet daemon's answer is broken.");
    auto reply = decodeReplyBody(body);
    if (!reply) return failed("The quillet daemon's answer is broken.");
    return *reply;
}

std::optional<ControlReply> sendRequest(const std::filesystem::path& socketPath,
                                        const ControlRequest& request,
                                        const ClientTimeouts& timeouts) {
    auto connection = ControlConnection::open(socketPath, timeouts);
    if (!connection) return std::nullopt;
    return connection->exchange(request);
}

}  // namespace app
