#pragma once

// The control channel between the command line and the running daemon: one request and one
// reply per connection on the daemon's unix stream socket.
//
// A frame is a 12-byte header and a body. Integers are unsigned 32-bit, least significant byte
// first; a string is its byte count (an integer) and its bytes.
//
//   header   magic (4 bytes: "QCRQ" for a request, "QCRP" for a reply)
//            version (1)
//            body byte count
//   request  kind (1 run a command, 2 activate: another daemon was started on this display)
//            data folder (string, absolute; the daemon runs only commands for its own)
//            working folder (string, absolute; relative file names are found there)
//            json (1 byte: 0 or 1)
//            word count, then each word (string): the command word and its arguments
//            standard input (string: what an item file "-" reads; empty when not used)
//   reply    kind (1 done, 2 not mine: the daemon keeps another data folder; the command line
//            runs the command itself)
//            exit status (a signed 32-bit integer)
//            standard output (string)
//            standard error (string)
//
// Both sides are untrusted input to each other. The header's count is checked against the cap
// of its direction before a byte of the body is read, every field against its own cap and
// against what is left of the body; a body must end with its last field. Anything else ends
// the exchange without a reply.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

namespace control {
inline constexpr uint64_t kMiB = 1024 * 1024;
inline constexpr uint32_t kVersion = 1;
inline constexpr size_t kHeaderBytes = 12;
// Request fields.
inline constexpr uint64_t kMaxPathBytes = 4096;
inline constexpr uint64_t kMaxWords = 4096;
inline constexpr uint64_t kMaxWordBytes = 1 * kMiB;  // the kernel passes no longer argument
inline constexpr uint64_t kMaxInputBytes = 64 * kMiB;
inline constexpr uint64_t kMaxRequestBytes = kMaxInputBytes + 8 * kMiB;
// Reply fields.
inline constexpr uint64_t kMaxOutputBytes = 64 * kMiB;
inline constexpr uint64_t kMaxErrorBytes = 1 * kMiB;
inline constexpr uint64_t kMaxReplyBytes = kMaxOutputBytes + kMaxErrorBytes + 64;
}  // namespace control

struct ControlRequest {
    enum class Kind : uint32_t { Run = 1, Activate = 2 };
    Kind kind = Kind::Run;
    std::string dataFolder;
    std::string workingFolder;
    bool json = false;
    std::vector<std::string> words;
    std::string standardInput;

    bool operator==(const ControlRequest&) const = default;
};

struct ControlReply {
    enum class Kind : uint32_t { Done = 1, NotMine = 2 };
    Kind kind = Kind::Done;
    int32_t status = 0;
    std::string out;
    std::string err;

    bool operator==(const ControlReply&) const = default;
};

// Whole frames; nothing when a field is over its cap.
std::optional<std::string> encodeRequest(const ControlRequest& request);
std::optional<std::string> encodeReply(const ControlReply& reply);

// The body byte count of a header (kHeaderBytes bytes); nothing when the magic or version is
// wrong or the count is over the cap.
std::optional<uint32_t> requestBodyBytes(std::string_view header);
std::optional<uint32_t> replyBodyBytes(std::string_view header);

// Nothing when the body is malformed.
std::optional<ControlRequest> decodeRequestBody(std::string_view body);
std::optional<ControlReply> decodeReplyBody(std::string_view body);

}  // namespace app
