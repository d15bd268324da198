#include "net/version_check.h"

#include <algorithm>
#include <cctype>
#include <locale>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "net/local_identity.h"
#include "persist/config/app_version.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"

namespace net {

namespace {

constexpr size_t kMaxHeaderBytes = 16 * 1024;
constexpr size_t kMaxChunkLine = 1024;

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

struct BodyFraming {
    bool chunked = false;
    std::optional<size_t> contentLength;
};

BodyFraming framingOf(std::string_view head) {
    BodyFraming framing;
    size_t pos = head.find("\r\n");
    while (pos != std::string_view::npos) {
        const size_t start = pos + 2;
        const size_t end = head.find("\r\n", start);
        const std::string_view line =
            head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            const std::string name = lowered(trimmed(line.substr(0, colon)));
            const std::string value = lowered(trimmed(line.substr(colon + 1)));
            if (name == "transfer-encoding" && value.find("chunked") != std::string::npos)
                framing.chunked = true;
            if (name == "content-length") {
                size_t length = 0;
                bool digits = !value.empty();
                for (char c : value) {
                    if (c < '0' || c > '9' || length > (size_t{1} << 40)) {
                        digits = false;
                        break;
                    }
                    length = length * 10 + static_cast<size_t>(c - '0');
                }
                if (digits) framing.contentLength = length;
            }
        }
        pos = end;
    }
    return framing;
}

}  // namespace

std::string versionRequestPath(int32_t osBuild) {
    std::string path = "check_version.php?app=quillet&dev=1&cur_ver=";
    path += std::to_string(kAppVersionNumber);
    path += "&os=";
    path += std::to_string(osBuild);
    return path;
}

std::string versionRequest(const VersionServer& server, const std::string& path) {
    // Built by appending: chains of operator+ on literals trip a false -Wrestrict in GCC 12.
    std::string request = "GET /";
    request += path;
    request += " HTTP/1.1\r\nHost: ";
    request += server.host;
    if (server.port != 80) {
        request += ':';
        request += std::to_string(server.port);
    }
    // The cache headers ask every cache on the way for a fresh answer.
    request +=
        "\r\nUser-Agent: Http Get\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
        "Pragma: no-cache\r\nConnection: close\r\n\r\n";
    return request;
}

std::string readVersionReplyBody(BlockingSocket& socket) {
    const size_t kWanted = VersionChecker::kMaxReplyBytes;
    std::string raw;
    char chunk[4096];
    auto more = [&] {
        const size_t got = socket.readSome(chunk, sizeof chunk);
        raw.append(chunk, got);
        return got != 0;
    };

    size_t headEnd;
    while ((headEnd = raw.find("\r\n\r\n")) == std::string::npos) {
        if (raw.size() > kMaxHeaderBytes || !more()) return {};
    }
    const std::string head = raw.substr(0, headEnd);
    raw.erase(0, headEnd + 4);
    if (head.rfind("HTTP/", 0) != 0) return {};
    const BodyFraming framing = framingOf(head);

    if (!framing.chunked) {
        const size_t want = std::min(kWanted, framing.contentLength.value_or(kWanted));
        while (raw.size() < want && more()) {
        }
        return raw.substr(0, std::min(raw.size(), want));
    }

    std::string body;
    size_t pos = 0;
    while (body.size() < kWanted) {
        size_t lineEnd;
        while ((lineEnd = raw.find("\r\n", pos)) == std::string::npos) {
            if (raw.size() - pos > kMaxChunkLine || !more()) return body;
        }
        size_t size = 0;
        size_t i = pos;
        for (; i < lineEnd && std::isxdigit(static_cast<unsigned char>(raw[i])); ++i) {
            if (size > (size_t{1} << 40)) return body;
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw[i])));
            size = size * 16 + static_cast<size_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        }
        if (i == pos || size == 0) return body;
        pos = lineEnd + 2;
        const size_t take = std::min(size, kWanted - body.size());
        while (raw.size() - pos < take && more()) {
        }
        const size_t available = std::min(take, raw.size() - pos);
        body.append(raw, pos, available);
        if (available < size) return body;
        pos += size;
        while (raw.size() < pos + 2 && more()) {
        }
        pos += 2;
    }
    return body;
}

VersionReply parseVersionReply(std::string_view body) {
    body = body.substr(0, std::min(body.size(), VersionChecker::kMaxReplyBytes));
    // The body is read as a C string.
    body = body.substr(0, body.find('\0'));
    std::istringstream in{std::string(body)};
    in.imbue(std::locale::classic());
    VersionReply reply;
    int32_t version = 0;
    if (!(in >> version)) return reply;
    reply.latestVersion = version;
    std::string link;
    if (in >> link) reply.downloadLink = platform::ansiToUtf16(link);
    return reply;
}

VersionChecker::VersionChecker(std::shared_ptr<MessageTarget> window, VersionServer server,
                               std::string path, Timeouts timeouts)
    : server_(std::move(server)),
      path_(std::move(path)),
      timeouts_(timeouts),
      window_(std::move(window)) {}

void VersionChecker::run() {
    VersionReply reply;
    try {
        BlockingSocket socket(timeouts_);
        socket.connect(server_.host, server_.port);
        const std::string request = versionRequest(server_, path_);
        writeAll(socket, request.data(), request.size());
        reply = parseVersionReply(readVersionReplyBody(socket));
    } catch (...) {
        // No answer is the same as no newer version.
        reply = VersionReply();
    }
    std::shared_ptr<MessageTarget> window;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = std::move(reply);
        window = window_;
    }
    if (window) window->post(kMsgVersionChecked, 0, reinterpret_cast<intptr_t>(this));
}

void VersionChecker::detachWindow() {
    std::lock_guard<std::mutex> lock(mutex_);
    window_.reset();
}

int32_t VersionChecker::latestVersion() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reply_.latestVersion;
}

std::u16string VersionChecker::downloadLink() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reply_.downloadLink;
}

VersionServer configuredVersionServer(const AppConfig& config) {
    VersionServer server;
    server.host = platform::utf16ToUtf8(config.getString(kOptVersionServerHost));
    server.port = config.getPort(kOptVersionServerPort, kDefaultVersionServerPort);
    return server;
}

std::shared_ptr<VersionChecker> VersionChecks::start(std::shared_ptr<MessageTarget> window, const AppConfig& config,
                                                     Timeouts timeouts) {
    if (!config.getBool(kOptCheckForNewVersion, false)) return nullptr;
    VersionServer server = configuredVersionServer(config);
    if (server.host.empty() || server.port == 0) return nullptr;
    auto checker = std::make_shared<VersionChecker>(std::move(window), std::move(server),
                                                    versionRequestPath(osBuildNumber()), timeouts);
    pending_.push_back(checker);
    std::thread([checker] { checker->run(); }).detach();
    return checker;
}

std::shared_ptr<VersionChecker> VersionChecks::take(intptr_t checkerAddress) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const auto& checker) {
        return reinterpret_cast<intptr_t>(checker.get()) == checkerAddress;
    });
    if (it == pending_.end()) return nullptr;
    std::shared_ptr<VersionChecker> checker = std::move(*it);
    pending_.erase(it);
    return checker;
}

}  // namespace net
