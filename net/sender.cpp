#include "net/sender.h"

#include <exception>
#include <stdexcept>
#include <thread>
#include <utility>

#include "model/record.h"
#include "model/record_list.h"
#include "net/codec.h"
#include "net/local_identity.h"
#include "net/network_log.h"
#include "persist/config/app_version.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"

namespace net {

namespace {

template <class Object>
std::shared_ptr<const std::vector<char>> encodePayload(const Object& object) {
    try {
        auto payload = std::make_shared<std::vector<char>>(encodeObject(object));
        if (payload->empty()) return nullptr;
        return payload;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

Sender::Sender(SenderSettings settings) : settings_(std::move(settings)) {
    if (!settings_.shuttingDown) settings_.shuttingDown = [] { return false; };
}

bool Sender::prepare(const NetworkAddress& address, const cb::Record& record) {
    return prepareEncoded(address, kObjectRecord, encodePayload(record));
}

bool Sender::prepare(const NetworkAddress& address, const cb::RecordList& list) {
    return prepareEncoded(address, kObjectRecordList, encodePayload(list));
}

bool Sender::prepareEncoded(const NetworkAddress& address, int32_t objectKind,
                            std::shared_ptr<const std::vector<char>> payload) {
    try {
        // A receiver refuses anything larger; better not to start than to fail half way.
        if (!payload || payload->empty() ||
            payload->size() > static_cast<size_t>(kMaxPayloadBytes))
            return false;
        payload_ = std::move(payload);
        address_ = address;
        query_ = QueryInfo();
        query_.objectKind = objectKind;
        query_.appVersion = kAppVersionNumber;
        query_.userName = loginName();
        return true;
    } catch (...) {
        return false;
    }
}

void Sender::start() {
    std::thread([self = shared_from_this()] { self->run(); }).detach();
}

bool Sender::abandoned() const { return cancelled_.load() || settings_.shuttingDown(); }

void Sender::run() {
    const std::string display = address_.displayText();
    try {
        BlockingSocket socket(settings_.timeouts, [this] { return abandoned(); });
        if (!payload_) throw std::logic_error("sender started without a payload");
        if (address_.port <= 0 || address_.port > 65535)
            throw std::invalid_argument("port out of range");
        socket.connect(address_.host, static_cast<uint16_t>(address_.port));
        if (!exchangeHandshake(socket)) throw e_failed{};
        // A copy: the prepared query stays as it was for whoever reads it meanwhile.
        QueryInfo query = query_;
        query.setHostNameText(platform::utf8ToUtf16(localHostName()));
        if (!writeMessage(socket, query)) throw e_failed{};
        if (abandoned()) return;

        ReplyInfo reply;
        readMessage(socket, reply);
        if (abandoned()) return;
        if (reply.result != kResultAccepted) {
            postState(kSendRejected);
            return;
        }

        const std::vector<char>& payload = *payload_;
        postState(kSendProgress, 0);
        writeInt(socket, static_cast<int32_t>(payload.size()));
        if (abandoned()) return;
        if (payload.size() > kPieceBytes) {
            for (size_t offset = 0; offset < payload.size(); offset += kPieceBytes) {
                const size_t piece = std::min(kPieceBytes, payload.size() - offset);
                writeAll(socket, payload.data() + offset, piece);
                if (abandoned()) return;
                postState(kSendProgress, static_cast<intptr_t>(offset + piece));
            }
        } else {
            writeAll(socket, payload.data(), payload.size());
        }
        socket.close();
        log("Object has been sent to " + display);
        postState(kSendFinished);
    } catch (const Abandoned&) {
        // Cancelled or shutting down while waiting: nothing is posted or logged.
    } catch (const e_failed&) {
        if (abandoned()) return;
        // Logged before the state is set: the state is the thread's last act.
        log("Failed to send object to " + display);
        postState(kSendFailed);
    } catch (...) {
        // Resolution, refused or broken connections, an undecodable reply.
        if (abandoned()) return;
        postState(kSendFailed);
    }
}

void Sender::setNotifyTarget(std::shared_ptr<MessageTarget> target) {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::move(target);
}

void Sender::cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target_.reset();
    }
    cancelled_.store(true);
}

int32_t Sender::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void Sender::postState(int32_t state, intptr_t param) {
    std::shared_ptr<MessageTarget> target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = state;
        target = target_;
    }
    if (target) target->post(kMsgNetNotify, static_cast<uintptr_t>(state), param);
}

void Sender::log(const std::string& text) {
    if (settings_.log) settings_.log->add(text);
}

size_t sendToHosts(const cb::Record& record, const std::vector<NetworkAddress>& hosts,
                   const SenderSettings& settings) {
    if (hosts.empty()) return 0;
    const std::shared_ptr<const std::vector<char>> payload = encodePayload(record);
    if (!payload) return 0;
    size_t started = 0;
    for (const NetworkAddress& host : hosts) {
        auto sender = std::make_shared<Sender>(settings);
        if (!sender->prepareEncoded(host, kObjectRecord, payload)) continue;
        sender->start();
        ++started;
    }
    return started;
}

size_t sendCapturedRecord(const cb::Record& record, const AppConfig& config,
                          const SenderSettings& settings) {
    if (!config.getBool(kOptAutoSend, false)) return 0;
    return sendToHosts(record, config.autoSendHosts(), settings);
}

}  // namespace net
