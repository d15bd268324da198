#include "net/socket_io.h"

#include <algorithm>
#include <utility>

namespace net {

namespace {

// How often a waiting call looks at the abandon check.
constexpr std::chrono::milliseconds kAbandonPoll{50};

// The first allocation for a block; it doubles as bytes arrive, so a peer that announces a large
// block and sends nothing costs us nothing.
constexpr size_t kFirstBlockChunk = 64 * 1024;

struct Outcome {
    std::error_code error;
    size_t transferred = 0;
};

}  // namespace

BlockingSocket::BlockingSocket(Timeouts timeouts, std::function<bool()> abandon)
    : timeouts_(timeouts), abandon_(std::move(abandon)), socket_(io_) {}

BlockingSocket::~BlockingSocket() { close(); }

void BlockingSocket::close() {
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

template <class Start>
size_t BlockingSocket::wait(Start start, std::chrono::milliseconds timeout) {
    bool done = false;
    Outcome outcome;
    start([&done, &outcome](const std::error_code& ec, size_t n) {
        done = true;
        outcome.error = ec;
        outcome.transferred = n;
    });
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool abandoned = false;
    io_.restart();
    while (!done) {
        if (abandon_ && abandon_()) {
            abandoned = true;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        io_.run_for(std::min<std::chrono::steady_clock::duration>(kAbandonPoll, deadline - now));
    }
    if (!done) {
        close();
        // The cancelled operation's handler refers to this frame: let it run before leaving.
        io_.restart();
        io_.run();
        if (abandoned) throw Abandoned{};
        throw asio::system_error(asio::error::timed_out);
    }
    if (outcome.error == asio::error::eof) return 0;
    if (outcome.error) throw asio::system_error(outcome.error);
    return outcome.transferred;
}

void BlockingSocket::connect(const std::string& host, uint16_t port) {
    close();
    // The resolver would take an empty name for this computer.
    if (host.empty()) throw asio::system_error(asio::error::host_not_found);
    asio::ip::tcp::resolver resolver(io_);
    const auto results = resolver.resolve(asio::ip::tcp::v4(), host, std::to_string(port));
    if (results.empty()) throw asio::system_error(asio::error::host_not_found);
    const asio::ip::tcp::endpoint endpoint = *results.begin();
    wait(
        [&](auto handler) {
            socket_.async_connect(endpoint,
                                  [handler](const std::error_code& ec) { handler(ec, 0); });
        },
        timeouts_.connect);
    if (!socket_.is_open()) throw asio::system_error(asio::error::not_connected);
    // The exchange is a row of small writes (a length, then its block) each waiting for an
    // answer; without this, Nagle's algorithm and delayed acknowledgements stall every step.
    std::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
}

size_t BlockingSocket::readSome(char* data, size_t n) {
    if (n == 0) return 0;
    return wait(
        [&](auto handler) { socket_.async_read_some(asio::buffer(data, n), handler); },
        timeouts_.io);
}

size_t BlockingSocket::writeSome(const char* data, size_t n) {
    if (n == 0) return 0;
    const size_t written = wait(
        [&](auto handler) { socket_.async_write_some(asio::buffer(data, n), handler); },
        timeouts_.io);
    return written;
}

void writeAll(BlockingSocket& socket, const char* bytes, size_t n) {
    size_t done = 0;
    while (done < n) {
        const size_t written = socket.writeSome(bytes + done, n - done);
        if (written == 0) throw e_failed{};
        done += written;
    }
}

void readAll(BlockingSocket& socket, char* bytes, size_t n) {
    size_t done = 0;
    while (done < n) {
        const size_t got = socket.readSome(bytes + done, n - done);
        if (got == 0) throw e_failed{};
        done += got;
    }
}

void storeInt32(char* bytes, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int32_t loadInt32(const char* bytes) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return static_cast<int32_t>(v);
}

void writeInt(BlockingSocket& socket, int32_t value) {
    char bytes[4];
    storeInt32(bytes, value);
    writeAll(socket, bytes, 4);
}

int32_t readInt(BlockingSocket& socket) {
    char bytes[4];
    readAll(socket, bytes, 4);
    return loadInt32(bytes);
}

bool exchangeHandshake(BlockingSocket& socket) {
    writeInt(socket, kHandshakeWord);
    return readInt(socket) == kHandshakeWord;
}

std::vector<char> readBlock(BlockingSocket& socket, int32_t maxBytes) {
    const int32_t length = readInt(socket);
    if (length < 0 || length > maxBytes) throw e_failed{};
    const size_t total = static_cast<size_t>(length);
    std::vector<char> bytes;
    while (bytes.size() < total) {
        const size_t have = bytes.size();
        const size_t chunk = std::min(total - have, std::max(kFirstBlockChunk, have));
        bytes.resize(have + chunk);
        readAll(socket, bytes.data() + have, chunk);
    }
    return bytes;
}

}  // namespace net
