#pragma once

// Blocking socket helpers of the sending side (and of the version check). Every wait is bounded:
// connecting by the connect time-out, every read or write by the I/O time-out, which counts from
// the last byte that moved, so a slow but live peer is served and a silent one is dropped.

#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/codec.h"

namespace net {

struct Timeouts {
    std::chrono::milliseconds connect = cmn::archive::wire::kConnectTimeout;
    std::chrono::milliseconds io = cmn::archive::wire::kIoTimeout;
};

// Thrown out of a wait when the owner's abandon check turned true (cancelled, shutting down).
struct Abandoned {};

// One TCP connection with its own I/O context, used from one thread.
class BlockingSocket {
public:
    // `abandon`, when set, is asked a few times a second while a call waits.
    explicit BlockingSocket(Timeouts timeouts = {}, std::function<bool()> abandon = {});
    ~BlockingSocket();
    BlockingSocket(const BlockingSocket&) = delete;
    BlockingSocket& operator=(const BlockingSocket&) = delete;

    // Resolves the host (a name or dotted text) for IPv4 and connects to the first address.
    // Errors are thrown as asio::system_error (timed_out when the connect time-out passes).
    void connect(const std::string& host, uint16_t port);
    // For tests and servers that hand over an accepted socket.
    asio::ip::tcp::socket& socket() { return socket_; }
    asio::io_context& context() { return io_; }
    void close();

    // One transfer of at least one byte; 0 on an orderly end of the stream (reads only).
    size_t readSome(char* data, size_t n);
    size_t writeSome(const char* data, size_t n);

private:
    template <class Start>
    size_t wait(Start start, std::chrono::milliseconds timeout);

    Timeouts timeouts_;
    std::function<bool()> abandon_;
    asio::io_context io_;
    asio::ip::tcp::socket socket_;
};

// All n bytes. Socket errors are thrown as asio::system_error; a connection that ends first
// throws e_failed.
void writeAll(BlockingSocket& socket, const char* bytes, size_t n);
void readAll(BlockingSocket& socket, char* bytes, size_t n);

// The 4 raw bytes of a 32-bit integer, least significant first.
void writeInt(BlockingSocket& socket, int32_t value);
int32_t readInt(BlockingSocket& socket);
void storeInt32(char* bytes, int32_t value);
int32_t loadInt32(const char* bytes);

// Writes the handshake word and reads 4 bytes: whether they are the word.
bool exchangeHandshake(BlockingSocket& socket);

// Encodes the message and writes it as a framed block (length, then bytes). False when the
// message cannot be encoded (nothing is written then).
template <class Message>
bool writeMessage(BlockingSocket& socket, const Message& message) {
    std::vector<char> bytes;
    try {
        bytes = encodeObject(message);
    } catch (const std::exception&) {
        return false;
    }
    if (bytes.size() > static_cast<size_t>(kMaxMessageBytes)) return false;
    writeInt(socket, static_cast<int32_t>(bytes.size()));
    writeAll(socket, bytes.data(), bytes.size());
    return true;
}

// Reads a framed block of at most maxBytes (a length out of bounds throws e_failed before anything
// is allocated) into a buffer that grows as the bytes arrive.
std::vector<char> readBlock(BlockingSocket& socket, int32_t maxBytes);

// Reads a framed block and decodes it into the message; an empty block leaves it as it was.
template <class Message>
void readMessage(BlockingSocket& socket, Message& message) {
    const std::vector<char> bytes = readBlock(socket, kMaxMessageBytes);
    decodeObject(bytes, message);
}

}  // namespace net
