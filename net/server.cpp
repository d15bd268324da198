#include "net/server.h"

#include <algorithm>
#include <asio.hpp>
#include <boost/make_shared.hpp>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/socket_io.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"

namespace net {

namespace {

constexpr uint16_t kDefaultPort = 45689;
constexpr std::chrono::seconds kStartWait{10};
constexpr std::chrono::seconds kStopWait{100};
// Before accepting again after an accept failed for a reason that may pass (no descriptors left).
constexpr std::chrono::milliseconds kAcceptRetry{100};
// The first allocation for a body; it doubles as bytes arrive, so a peer that announces a large
// block and sends nothing costs us nothing.
constexpr size_t kFirstBodyChunk = 64 * 1024;

// The one object of an expected body: QueryInfo, or the payload of that kind.
constexpr int32_t kExpectNothing = -1;
constexpr int32_t kExpectQuery = 3;

}  // namespace

// Everything of one run of the server thread. A fresh session per start, so that nothing a
// stopped run left queued (a late stop request) can reach the next one.
struct Server::Session {
    Session(Server& s, uint16_t p, bool check) : server(s), port(p), addressCheck(check) {}

    void acceptNext();
    void onAccept(const std::error_code& error);
    // Runs on the server thread.
    void stopAll();

    Server& server;
    const uint16_t port;
    // Whether a trusted client must connect from one of its host's addresses.
    const bool addressCheck;
    // For work that finishes on other threads (name lookups) and posts back here.
    std::weak_ptr<Session> self;
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor{io};
    asio::steady_timer retry{io};
    std::set<std::shared_ptr<Receiver>> receivers;
    std::shared_ptr<Receiver> pending;
    size_t bufferedBytes = 0;  // bodies of all receivers
    bool stopping = false;
};

// One accepted connection: the receiving half of one exchange, one step per completion. Lives as
// long as the server's set or one of its completion handlers refers to it.
class Receiver : public std::enable_shared_from_this<Receiver> {
public:
    explicit Receiver(Server::Session& session)
        : session_(session), socket_(session.io), watchdog_(session.io) {}

    asio::ip::tcp::socket& socket() { return socket_; }

    // Step 1: read the handshake word.
    void start() {
        std::error_code error;
        const asio::ip::tcp::endpoint peer = socket_.remote_endpoint(error);
        if (!error && peer.address().is_v4()) remoteAddress_ = peer.address().to_v4().to_uint();
        expected_ = kExpectNothing;
        buffer_.assign(4, 0);
        transfer(false, buffer_.data(), 4, [this] { onHandshake(); });
    }

    // Removes the receiver from the server's set and ends the connection without another byte.
    void close() {
        if (closed_) return;
        closed_ = true;
        std::error_code ignored;
        socket_.close(ignored);
        watchdog_.cancel();
        releaseBuffer();
        session_.receivers.erase(shared_from_this());
    }

private:
    const ServerSettings& settings() const { return session_.server.settings(); }

    // Frees the body and gives back what it counted against the session's total.
    void releaseBuffer() {
        session_.bufferedBytes -= counted_;
        counted_ = 0;
        buffer_.clear();
        buffer_.shrink_to_fit();
    }

    // Moves exactly n bytes, as several transfers if need be, then calls next. Each transfer
    // pushes the deadline on: only silence ends the connection, not slowness.
    template <class Next>
    void transfer(bool write, char* data, size_t n, Next next) {
        if (closed_) return;
        if (n == 0) {
            next();
            return;
        }
        armWatchdog();
        auto handler = [this, self = shared_from_this(), write, data, n, next](
                           const std::error_code& error, size_t moved) {
            if (closed_) return;
            if (error || moved == 0) {
                close();
                return;
            }
            transfer(write, data + moved, n - moved, next);
        };
        if (write) socket_.async_write_some(asio::buffer(data, n), std::move(handler));
        else socket_.async_read_some(asio::buffer(data, n), std::move(handler));
    }

    void armWatchdog() {
        deadline_ = std::chrono::steady_clock::now() + settings().ioTimeout;
        if (!watching_) {
            watching_ = true;
            watch();
        }
    }

    // One timer for the whole connection, re-armed only when it fires before the deadline.
    void watch() {
        watchdog_.expires_at(deadline_);
        watchdog_.async_wait([this, self = shared_from_this()](const std::error_code&) {
            if (closed_) return;
            if (std::chrono::steady_clock::now() >= deadline_) {
                close();
                return;
            }
            watch();
        });
    }

    // Step 1 done: echo the word (step 2), or close without a byte.
    void onHandshake() {
        if (loadInt32(buffer_.data()) != kHandshakeWord) {
            close();
            return;
        }
        transfer(true, buffer_.data(), 4, [this] {
            expected_ = kExpectQuery;
            readLength();
        });
    }

    // Step 3: the length of the next body.
    void readLength() {
        buffer_.assign(4, 0);
        transfer(false, buffer_.data(), 4, [this] { onLength(); });
    }

    void onLength() {
        const int32_t length = loadInt32(buffer_.data());
        const int32_t cap =
            expected_ == kExpectQuery ? settings().maxMessageBytes : settings().maxPayloadBytes;
        if (length < 0 || length > cap) {
            close();
            return;
        }
        bodyLength_ = static_cast<size_t>(length);
        buffer_.clear();
        readBody();
    }

    // Step 4: the body, into a buffer that grows with what has arrived.
    void readBody() {
        const size_t have = buffer_.size();
        if (have == bodyLength_) {
            onBody();
            return;
        }
        const size_t chunk = std::min(bodyLength_ - have, std::max(kFirstBodyChunk, have));
        if (session_.bufferedBytes + chunk > settings().maxBufferedBytes) {
            close();
            return;
        }
        try {
            buffer_.resize(have + chunk);
        } catch (const std::bad_alloc&) {
            close();
            return;
        }
        session_.bufferedBytes += chunk;
        counted_ += chunk;
        transfer(false, buffer_.data() + have, chunk, [this] { readBody(); });
    }

    void onBody() {
        try {
            if (expected_ == kExpectQuery) {
                evaluateQuery();
            } else {
                deliver();
                close();
            }
        } catch (...) {
            // A malformed archive, bad zlib data, no memory: the exchange has failed.
            close();
        }
    }

    void onReplySent() {
        if (reply_.result != kResultAccepted) {
            close();
            return;
        }
        readLength();
    }

    void evaluateQuery() {
        reply_ = ReplyInfo();
        reply_.result = kResultAccepted;
        query_ = QueryInfo();
        decodeObject(buffer_, query_);
        buffer_.clear();
        expected_ = query_.objectKind;
        reply_.appVersion = kAppVersionNumber;
        if (expected_ != kObjectRecord && expected_ != kObjectRecordList &&
            expected_ != kObjectHistory) {
            reply_.result = kResultUnknownObjectKind;
        } else {
            clients_ = session_.server.config().trustedClientsCopy();
            decideTrust();
            return;
        }
        sendReply();
    }

    // Decides from what is known now; when a name has to be looked up first, the decision is
    // taken again once its addresses are in, and other connections go on meanwhile.
    void decideTrust() {
        const TrustedAddressBook& book = session_.server.addressBook();
        auto known = [this, &book](const std::string& host) -> std::optional<std::vector<uint32_t>> {
            if (auto it = lookedUp_.find(host); it != lookedUp_.end()) return it->second;
            return book.addressesOf(host);
        };
        std::optional<uint32_t> remote;
        if (session_.addressCheck) {
            // A connection whose address cannot be read is from nowhere we trust.
            remote = remoteAddress_.value_or(0xFFFFFFFFu);
        }
        const TrustDecision decision = net::decideTrust(clients_, query_, known, remote);
        if (decision.lookUp && !lookedUp_.count(*decision.lookUp)) {
            if (startLookup(*decision.lookUp)) return;
            lookedUp_[*decision.lookUp] = {};
            decideTrust();
            return;
        }
        if (decision.client) {
            matchedClient_ = *decision.client;
        } else {
            reply_.result = kResultUntrustedClient;
            reply_.flags |= kReplyFlagUntrustedClient;
        }
        clients_ = TrustedClientList();
        sendReply();
    }

    bool startLookup(const std::string& host) {
        std::weak_ptr<Server::Session> session = session_.self;
        std::weak_ptr<Receiver> receiver = shared_from_this();
        return session_.server.lookups().start(
            host, [session, receiver, host](std::vector<uint32_t> addresses) {
                // Runs on the lookup's thread: hand the result to the server thread.
                if (std::shared_ptr<Server::Session> s = session.lock()) {
                    asio::post(s->io, [receiver, host, addresses = std::move(addresses)]() mutable {
                        if (std::shared_ptr<Receiver> r = receiver.lock())
                            r->onLookedUp(host, std::move(addresses));
                    });
                }
            });
    }

    void onLookedUp(const std::string& host, std::vector<uint32_t> addresses) {
        if (closed_) return;
        lookedUp_[host] = std::move(addresses);
        try {
            decideTrust();
        } catch (...) {
            close();
        }
    }

    // Steps 5 and 6: the reply's length and its bytes as two writes.
    void sendReply() {
        buffer_ = encodeObject(reply_);
        replySize_ = static_cast<int32_t>(buffer_.size());
        storeInt32(replySizeBytes_, replySize_);
        transfer(true, replySizeBytes_, 4, [this] {
            transfer(true, buffer_.data(), buffer_.size(), [this] { onReplySent(); });
        });
    }

    // An empty body delivers the new object as it is.
    void deliver() {
        Server& server = session_.server;
        if (expected_ == kObjectRecord) {
            auto record = boost::make_shared<cb::Record>();
            decodeObject(buffer_, *record);
            server.deliver(matchedClient_, std::move(record));
        } else if (expected_ == kObjectRecordList) {
            auto list = std::make_shared<cb::RecordList>();
            decodeObject(buffer_, *list);
            server.deliver(matchedClient_, std::move(list));
        } else if (expected_ == kObjectHistory) {
            auto history = std::make_shared<cb::History>();
            decodeObject(buffer_, *history);
            server.deliver(matchedClient_, std::move(history));
        }
    }

    Server::Session& session_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer watchdog_;
    std::chrono::steady_clock::time_point deadline_;
    bool watching_ = false;
    bool closed_ = false;
    std::vector<char> buffer_;
    size_t bodyLength_ = 0;
    size_t counted_ = 0;  // of buffer_, in session_.bufferedBytes
    int32_t expected_ = kExpectNothing;
    TrustedClient matchedClient_;
    std::optional<uint32_t> remoteAddress_;
    // While the trust decision waits for a lookup: the clients it decides on, and the names
    // looked up for this connection.
    TrustedClientList clients_;
    std::map<std::string, std::vector<uint32_t>> lookedUp_;
    ReplyInfo reply_;
    int32_t replySize_ = 0;
    char replySizeBytes_[4] = {};
    QueryInfo query_;
};

void Server::Session::acceptNext() {
    pending = std::make_shared<Receiver>(*this);
    acceptor.async_accept(pending->socket(),
                          [this](const std::error_code& error) { onAccept(error); });
}

void Server::Session::onAccept(const std::error_code& error) {
    if (stopping || !acceptor.is_open()) return;
    if (error) {
        // Linux reports some failures of a single incoming connection (and a lack of
        // descriptors) through accept; none of them is a reason to stop receiving for good.
        server.setLastError("accepting a connection failed: " + error.message());
        retry.expires_after(kAcceptRetry);
        retry.async_wait([this](const std::error_code& e) {
            if (!e && !stopping) acceptNext();
        });
        return;
    }
    std::shared_ptr<Receiver> receiver = std::move(pending);
    if (receivers.size() >= server.settings().maxConnections) {
        std::error_code ignored;
        receiver->socket().close(ignored);
    } else {
        // Replies are a length and a block in two writes: send each at once.
        std::error_code ignored;
        receiver->socket().set_option(asio::ip::tcp::no_delay(true), ignored);
        receivers.insert(receiver);
        receiver->start();
    }
    acceptNext();
}

void Server::Session::stopAll() {
    stopping = true;
    std::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    const std::vector<std::shared_ptr<Receiver>> open(receivers.begin(), receivers.end());
    for (const auto& receiver : open) receiver->close();
    receivers.clear();
}

Server::Server(AppConfig& config, ServerSettings settings)
    : config_(config),
      settings_(std::move(settings)),
      addressBook_(settings_.resolver, settings_.addressRefresh),
      lookups_(settings_.resolver, settings_.maxLookups) {}

std::function<bool()> Server::shuttingDownCheck() const {
    return [flag = shuttingDown_] { return flag->load(); };
}

Server::~Server() {
    stop();
    if (thread_.joinable()) thread_.join();
}

void Server::update() {
    if (config_.getBool(kOptReceiveEnabled, false)) start();
    else stop();
}

void Server::joinIfEnded() {
    if (!running_.load() && thread_.joinable()) {
        thread_.join();
        session_.reset();
    }
}

bool Server::start() {
    readOptions();
    return start(configuredPort());
}

void Server::readOptions() {
    // Read here, on the user-interface thread, which is the only one that touches the options.
    addressCheck_.store(config_.getBool(kOptTrustedClientAddressCheck, true));
}

uint16_t Server::configuredPort() const { return config_.getPort(kOptServerPort, kDefaultPort); }

bool Server::start(uint16_t port) {
    if (running_.load() && !stop()) return false;
    joinIfEnded();
    if (running_.load()) return false;

    const bool addressCheck = addressCheck_.load();
    // Looked up again at every start: after the options are saved the list may hold new hosts.
    addressBook_.refresh(config_.trustedClientsCopy());
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        listenOutcome_ = ListenOutcome::Pending;
    }
    session_ = std::make_shared<Session>(*this, port, addressCheck);
    session_->self = session_;
    running_.store(true);
    thread_ = std::thread([this, session = session_] { run(session); });

    ListenOutcome outcome;
    {
        std::unique_lock<std::mutex> lock(stateMutex_);
        stateChanged_.wait_for(lock, kStartWait,
                               [this] { return listenOutcome_ != ListenOutcome::Pending; });
        outcome = listenOutcome_;
    }
    if (outcome == ListenOutcome::Pending) return running_.load();
    if (outcome == ListenOutcome::Failed) {
        // The thread ends right after reporting; the caller sees the server stopped.
        thread_.join();
        session_.reset();
        return false;
    }
    return true;
}

bool Server::stop() {
    if (!running_.load()) {
        joinIfEnded();
        return true;
    }
    // A raw pointer: the handler must not keep the session (and so its own I/O context) alive.
    Session* session = session_.get();
    asio::post(session->io, [session] { session->stopAll(); });
    {
        std::unique_lock<std::mutex> lock(stateMutex_);
        stateChanged_.wait_for(lock, kStopWait, [this] { return !running_.load(); });
    }
    if (running_.load()) return false;
    joinIfEnded();
    return true;
}

void Server::shutdown() {
    shuttingDown_->store(true);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target_.reset();
    }
    stop();
}

void Server::reportListening(ListenOutcome outcome) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        listenOutcome_ = outcome;
    }
    stateChanged_.notify_all();
}

void Server::run(std::shared_ptr<Session> session) {
    try {
        asio::ip::tcp::acceptor& acceptor = session->acceptor;
        const asio::ip::tcp::endpoint endpoint(asio::ip::make_address_v4(settings_.bindAddress),
                                               session->port);
        acceptor.open(asio::ip::tcp::v4());
        // Without it Linux refuses the port while closed connections linger in TIME_WAIT, so a
        // restart after saving the options would fail; it does not let two listeners share a
        // port here.
        acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(asio::socket_base::max_listen_connections);
        listeningPort_.store(acceptor.local_endpoint().port());
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            lastError_.clear();
        }
        reportListening(ListenOutcome::Listening);
        session->acceptNext();
        for (;;) {
            try {
                session->io.run();
                break;
            } catch (const std::exception&) {
                // A handler failed outside a connection's own error handling; keep serving.
            }
        }
    } catch (const std::exception& e) {
        setLastError(std::string("cannot listen for records: ") + e.what());
        reportListening(ListenOutcome::Failed);
    }
    listeningPort_.store(0);
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        running_.store(false);
    }
    stateChanged_.notify_all();
}

std::string Server::lastError() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return lastError_;
}

void Server::setLastError(std::string error) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    lastError_ = std::move(error);
}

void Server::setNotifyTarget(std::shared_ptr<MessageTarget> target) {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::move(target);
}

void Server::post(uintptr_t code) {
    std::shared_ptr<MessageTarget> target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target = target_;
    }
    if (target) target->post(kMsgNetNotify, code, 0);
}

void Server::deliver(const TrustedClient& client, boost::shared_ptr<cb::Record> record) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back({client, std::move(record)});
    }
    post(kNotifyRecordArrived);
}

void Server::deliver(const TrustedClient& client, std::shared_ptr<cb::RecordList> list) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lists_.push_back({client, std::move(list)});
    }
    post(kNotifyListArrived);
}

void Server::deliver(const TrustedClient& client, std::shared_ptr<cb::History> history) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        histories_.push_back({client, std::move(history)});
    }
    post(kNotifyHistoryArrived);
}

namespace {

// Adds from the last record to the first, so that they keep their order with the sender's
// first record on top.
bool addRecords(cb::RecordList& target, const cb::RecordList& from) {
    bool added = false;
    for (size_t i = from.count(); i-- > 0;) {
        cb::RecordPtr record = from.at(i);
        if (!record) continue;
        target.add(std::move(record));
        added = true;
    }
    return added;
}

bool addEntry(cb::RecordList& target, const boost::shared_ptr<cb::Record>& record) {
    if (!record) return false;
    target.add(record);
    return true;
}

bool addEntry(cb::RecordList& target, const std::shared_ptr<cb::RecordList>& list) {
    return list && addRecords(target, *list);
}

bool addEntry(cb::RecordList& target, const std::shared_ptr<cb::History>& history) {
    if (!history) return false;
    bool added = false;
    for (const cb::RecordList* list : history->lists())
        if (list && addRecords(target, *list)) added = true;
    return added;
}

}  // namespace

template <class Queue>
bool Server::drainQueue(Queue& queue, cb::History& history) {
    // The entries are taken out under the lock and added without it: list observers (windows)
    // run during the adds and must not run inside a lock the server thread waits for.
    Queue taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taken.swap(queue);
    }
    bool added = false;
    for (const auto& entry : taken) {
        cb::RecordList* target =
            history.findListByName(platform::utf8ToUtf16(entry.client.listName));
        if (target && addEntry(*target, entry.object)) added = true;
    }
    return added;
}

bool Server::drainRecords(cb::History& history) { return drainQueue(records_, history); }
bool Server::drainLists(cb::History& history) { return drainQueue(lists_, history); }
bool Server::drainHistories(cb::History& history) { return drainQueue(histories_, history); }

bool Server::drain(uintptr_t notifyCode, cb::History& history) {
    switch (notifyCode) {
        case kNotifyRecordArrived:
            return drainRecords(history);
        case kNotifyListArrived:
            return drainLists(history);
        case kNotifyHistoryArrived:
            return drainHistories(history);
        default:
            return false;
    }
}

}  // namespace net
