#pragma once

// Loopback peers, zlib by hand and a recording notify target for the network tests. Every wait
// here is bounded, so a broken peer fails a test instead of hanging it.

#include <gtest/gtest.h>
#include <zlib.h>

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "net/notify.h"
#include "net/socket_io.h"

namespace nettest {

using namespace std::chrono_literals;

inline constexpr auto kWait = 5s;  // the longest any test waits for something that must happen

inline const std::string kArchiveHeader = "22 serialization::archive 3 ";

// zlib's own one-shot compressor with its defaults: the bytes a correct encoder produces.
inline std::string zlibCompress(const std::string& text) {
    std::string out(compressBound(text.size()), '\0');
    uLongf size = out.size();
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(text.data()), text.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

inline std::string zlibDecompress(const std::string& packed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit failed");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    std::string out;
    char chunk[4096];
    int rc;
    do {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    } while (rc == Z_OK);
    inflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("not a complete zlib stream");
    return out;
}

inline std::string int32Bytes(int32_t value) {
    char b[4];
    net::storeInt32(b, value);
    return std::string(b, 4);
}

inline std::string framed(const std::string& bytes) {
    return int32Bytes(static_cast<int32_t>(bytes.size())) + bytes;
}

inline const std::string kHandshakeBytes = "\xAC\x87\x06\x0A";

inline std::string toString(const std::vector<char>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Records every post; tests wait for the posts they expect.
class RecordingTarget : public net::MessageTarget {
public:
    struct Post {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
        bool operator==(const Post&) const = default;
    };

    void post(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            posts_.push_back({message, wParam, lParam});
        }
        changed_.notify_all();
    }

    std::vector<Post> posts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return posts_;
    }

    // True once a post satisfies the predicate.
    bool waitFor(const std::function<bool(const Post&)>& wanted,
                 std::chrono::milliseconds timeout = kWait) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (const Post& p : posts_)
                if (wanted(p)) return true;
            return false;
        });
    }

    bool waitForCount(size_t count, std::chrono::milliseconds timeout = kWait) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return posts_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Post> posts_;
};

inline net::Timeouts quickTimeouts() {
    return net::Timeouts{std::chrono::milliseconds(2000), std::chrono::milliseconds(3000)};
}

// Polls a condition that another thread will make true.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = kWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A sender's thread has nothing left to do once its last state is set.
template <class Sender>
bool waitForState(const Sender& sender, int32_t state, std::chrono::milliseconds timeout = kWait) {
    return waitUntil([&] { return sender.state() == state; }, timeout);
}

// A client connection to a loopback port.
inline std::unique_ptr<net::BlockingSocket> connectTo(uint16_t port,
                                                      net::Timeouts timeouts = quickTimeouts()) {
    auto socket = std::make_unique<net::BlockingSocket>(timeouts);
    socket->connect("127.0.0.1", port);
    return socket;
}

inline void sendBytes(net::BlockingSocket& socket, const std::string& bytes) {
    net::writeAll(socket, bytes.data(), bytes.size());
}

inline std::string readBytes(net::BlockingSocket& socket, size_t n) {
    std::string bytes(n, '\0');
    net::readAll(socket, bytes.data(), n);
    return bytes;
}

// Everything until the peer closes (errors such as a reset count as the end too). Throws when
// the peer neither closes nor sends within the socket's I/O time-out.
inline std::string readToEnd(net::BlockingSocket& socket) {
    std::string bytes;
    char chunk[4096];
    for (;;) {
        size_t got = 0;
        try {
            got = socket.readSome(chunk, sizeof chunk);
        } catch (const asio::system_error& e) {
            if (e.code() == asio::error::timed_out) throw;
            return bytes;
        }
        if (got == 0) return bytes;
        bytes.append(chunk, got);
    }
}

// A listening socket on loopback that hands out accepted connections, for tests that play the
// receiving peer.
class LoopbackListener {
public:
    LoopbackListener() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), 0)) {}

    uint16_t port() const { return acceptor_.local_endpoint().port(); }

    std::unique_ptr<net::BlockingSocket> accept(net::Timeouts timeouts = quickTimeouts(),
                                                std::chrono::milliseconds wait = kWait) {
        asio::ip::tcp::socket peer(io_);
        bool done = false;
        std::error_code error;
        acceptor_.async_accept(peer, [&](const std::error_code& ec) {
            done = true;
            error = ec;
        });
        io_.restart();
        io_.run_for(wait);
        if (!done) {
            acceptor_.cancel();
            io_.restart();
            io_.run();
            throw std::runtime_error("no connection arrived");
        }
        if (error) throw asio::system_error(error);
        auto socket = std::make_unique<net::BlockingSocket>(timeouts);
        socket->socket().assign(asio::ip::tcp::v4(), peer.release());
        return socket;
    }

private:
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
};

// A port on loopback where nothing listens.
inline uint16_t closedPort() {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io,
                                     asio::ip::tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), 0));
    const uint16_t port = acceptor.local_endpoint().port();
    acceptor.close();
    return port;
}

// Runs a peer's script on a thread and joins it; a failure inside is reported to the test.
class PeerThread {
public:
    explicit PeerThread(std::function<void()> script)
        : thread_([this, script = std::move(script)] {
              try {
                  script();
              } catch (const std::exception& e) {
                  std::lock_guard<std::mutex> lock(mutex_);
                  failure_ = e.what();
              } catch (...) {
                  std::lock_guard<std::mutex> lock(mutex_);
                  failure_ = "peer failed";
              }
          }) {}
    ~PeerThread() { join(); }

    // Returns what went wrong in the script, empty when nothing did.
    std::string join() {
        if (thread_.joinable()) thread_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }

private:
    std::mutex mutex_;
    std::string failure_;
    std::thread thread_;
};

}  // namespace nettest
