#include "app/control_protocol.h"

namespace app {

namespace {

constexpr std::string_view kRequestMagic = "QCRQ";
constexpr std::string_view kReplyMagic = "QCRP";

void putInt(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

void putString(std::string& out, std::string_view text) {
    putInt(out, static_cast<uint32_t>(text.size()));
    out.append(text);
}

std::string frame(std::string_view magic, const std::string& body) {
    std::string out(magic);
    putInt(out, control::kVersion);
    putInt(out, static_cast<uint32_t>(body.size()));
    return out + body;
}

uint32_t loadInt(std::string_view bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

std::optional<uint32_t> bodyBytes(std::string_view header, std::string_view magic, uint64_t cap) {
    if (header.size() != control::kHeaderBytes || header.substr(0, 4) != magic ||
        loadInt(header.substr(4)) != control::kVersion)
        return std::nullopt;
    const uint32_t count = loadInt(header.substr(8));
    if (count > cap) return std::nullopt;
    return count;
}

// Reads fields from the front of a body; a field that does not fit leaves it failed.
class Cursor {
public:
    explicit Cursor(std::string_view body) : rest_(body) {}

    uint32_t integer() {
        if (rest_.size() < 4) return fail(), 0;
        const uint32_t value = loadInt(rest_);
        rest_.remove_prefix(4);
        return value;
    }
    uint8_t byte() {
        if (rest_.empty()) return fail(), 0;
        const auto value = static_cast<uint8_t>(rest_[0]);
        rest_.remove_prefix(1);
        return value;
    }
    std::string text(uint64_t cap) {
        const uint32_t size = integer();
        if (!ok_ || size > cap || size > rest_.size()) return fail(), std::string();
        std::string value(rest_.substr(0, size));
        rest_.remove_prefix(size);
        return value;
    }
    void fail() { ok_ = false; }
    // Every field read, and nothing after the last.
    bool complete() const { return ok_ && rest_.empty(); }
    bool ok() const { return ok_; }

private:
    std::string_view rest_;
    bool ok_ = true;
};

}  // namespace

std::optional<std::string> encodeRequest(const ControlRequest& request) {
    using namespace control;
    if (request.dataFolder.size() > kMaxPathBytes || request.workingFolder.size() > kMaxPathBytes ||
        request.words.size() > kMaxWords || request.standardInput.size() > kMaxInputBytes)
        return std::nullopt;
    std::string body;
    putInt(body, static_cast<uint32_t>(request.kind));
    putString(body, request.dataFolder);
    putString(body, request.workingFolder);
    body.push_back(request.json ? 1 : 0);
    putInt(body, static_cast<uint32_t>(request.words.size()));
    for (const auto& word : request.words) {
        if (word.size() > kMaxWordBytes) return std::nullopt;
        putString(body, word);
    }
    putString(body, request.standardInput);
    if (body.size() > kMaxRequestBytes) return std::nullopt;
    return frame(kRequestMagic, body);
}

std::optional<std::string> encodeReply(const ControlReply& reply) {
    using namespace control;
    if (reply.out.size() > kMaxOutputBytes || reply.err.size() > kMaxErrorBytes) return std::nullopt;
    std::string body;
    putInt(body, static_cast<uint32_t>(reply.kind));
    putInt(body, static_cast<uint32_t>(reply.status));
    putString(body, reply.out);
    putString(body, reply.err);
    return frame(kReplyMagic, body);
}

std::optional<uint32_t> requestBodyBytes(std::string_view header) {
    return bodyBytes(header, kRequestMagic, control::kMaxRequestBytes);
}

std::optional<uint32_t> replyBodyBytes(std::string_view header) {
    return bodyBytes(header, kReplyMagic, control::kMaxReplyBytes);
}

std::optional<ControlRequest> decodeRequestBody(std::string_view body) {
    using namespace control;
    Cursor in(body);
    ControlRequest request;
    const uint32_t kind = in.integer();
    if (kind != 1 && kind != 2) return std::nullopt;
    request.kind = static_cast<ControlRequest::Kind>(kind);
    request.dataFolder = in.text(kMaxPathBytes);
    request.workingFolder = in.text(kMaxPathBytes);
    const uint8_t json = in.byte();
    if (json > 1) return std::nullopt;
    request.json = json == 1;
    const uint32_t words = in.integer();
    if (words > kMaxWords) return std::nullopt;
    // Nothing is reserved for the claimed count: the words grow as they are read from the body.
    for (uint32_t i = 0; i < words && in.ok(); ++i) request.words.push_back(in.text(kMaxWordBytes));
    request.standardInput = in.text(kMaxInputBytes);
    if (!in.complete()) return std::nullopt;
    return request;
}

std::optional<ControlReply> decodeReplyBody(std::string_view body) {
    using namespace control;
    Cursor in(body);
    ControlReply reply;
    const uint32_t kind = in.integer();
    if (kind != 1 && kind != 2) return std::nullopt;
    reply.kind = static_cast<ControlReply::Kind>(kind);
    reply.status = static_cast<int32_t>(in.integer());
    reply.out = in.text(kMaxOutputBytes);
    reply.err = in.text(kMaxErrorBytes);
    if (!in.complete()) return std::nullopt;
    return reply;
}

}  // namespace app
