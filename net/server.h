#pragma once

// The receiving side: one server thread runs all network work of receiving (accepts and every
// connection's steps); accepted objects are queued for the user-interface thread, which drains
// them into the record lists named by the trusted clients. Worker threads never touch the model.

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "net/codec.h"
#include "net/host_lookups.h"
#include "net/notify.h"
#include "net/trust.h"
#include "net/trusted_address_book.h"
#include "persist/config/app_config.h"
#include "persist/config/trusted_client.h"

namespace cb {
class History;
class Record;
class RecordList;
}  // namespace cb

namespace net {

class Receiver;

struct ServerSettings {
    // A read or write that moves no byte for this long ends the connection.
    std::chrono::milliseconds ioTimeout = cmn::archive::wire::kIoTimeout;
    // Every local IPv4 address; tests listen on loopback only.
    std::string bindAddress = "0.0.0.0";
    // Connections beyond this are accepted and closed at once.
    size_t maxConnections = cmn::archive::wire::kMaxConnections;
    int32_t maxMessageBytes = kMaxMessageBytes;
    int32_t maxPayloadBytes = kMaxPayloadBytes;
    // What all connections together may hold of bodies not yet decoded.
    size_t maxBufferedBytes = cmn::archive::wire::kMaxBufferedBytes;
    // Looks host names up: the trusted clients' hosts ahead of time, a peer's claimed name when
    // it is needed. Never called on the server thread.
    HostAddressResolver resolver = resolveAllIPv4;
    // How often the trusted clients' hosts are looked up again while the server runs.
    std::chrono::milliseconds addressRefresh = std::chrono::minutes(5);
    // Names looked up at the same time for peers; a peer beyond this is not trusted.
    size_t maxLookups = 16;
};

template <class Object>
struct ReceivedEntry {
    TrustedClient client;  // the trusted client the query matched
    Object object;
};

class Server {
public:
    explicit Server(AppConfig& config, ServerSettings settings = {});
    // Stops the thread and waits for it.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The following run on the user-interface thread.

    // Starts when receiving is switched on (option 17), stops otherwise; a running server is
    // restarted, so a new port takes effect at once.
    void update();
    // Stops a running server first (false when it does not stop). Then starts the server thread
    // on the configured port (option 22) and waits up to 10 s for it: true once it listens. When
    // the port cannot be opened, lastError() says why.
    bool start();
    // The same on the given port, without reading the configuration: for a caller that starts
    // the server on a thread of its own.
    bool start(uint16_t port);
    // The port of option 22 (the default port when it is not set).
    uint16_t configuredPort() const;
    // Reads the options the next start(port) takes besides the port (the trusted clients'
    // address check). start() reads them itself.
    void readOptions();
    // Closes the listener and every connection in progress, and waits up to 100 s for the
    // thread to end. True when it has ended (or was not running).
    bool stop();
    // At exit: senders learn that the program is ending, no more notifications are posted, and
    // the server stops. Entries that arrive afterwards stay queued.
    void shutdown();

    // Where kMsgNetNotify posts of the server go; null for none.
    void setNotifyTarget(std::shared_ptr<MessageTarget> target);

    // Adds every queued object's records to the list of the history that its client names
    // (exact name), the sender's first record ending on top. Entries whose list does not exist
    // are dropped. True when at least one record was added.
    bool drainRecords(cb::History& history);
    bool drainLists(cb::History& history);
    bool drainHistories(cb::History& history);
    // The drain that matches a kMsgNetNotify wParam (others do nothing).
    bool drain(uintptr_t notifyCode, cb::History& history);

    bool running() const { return running_.load(); }
    bool shuttingDown() const { return shuttingDown_->load(); }
    // What the senders of the program this server belongs to ask between their steps
    // (SenderSettings::shuttingDown). It stays valid after the server is destroyed: detached
    // transfers may outlive it.
    std::function<bool()> shuttingDownCheck() const;
    // The port actually listened on (the configured one, or the system's pick for 0); 0 while
    // not listening.
    uint16_t listeningPort() const { return listeningPort_.load(); }
    // Why the last start could not listen, or why accepting failed; empty when nothing failed.
    std::string lastError() const;
    const ServerSettings& settings() const { return settings_; }

    // Used by the server thread's connections.
    const AppConfig& config() const { return config_; }
    const TrustedAddressBook& addressBook() const { return addressBook_; }
    HostLookups& lookups() { return lookups_; }
    void deliver(const TrustedClient& client, boost::shared_ptr<cb::Record> record);
    void deliver(const TrustedClient& client, std::shared_ptr<cb::RecordList> list);
    void deliver(const TrustedClient& client, std::shared_ptr<cb::History> history);
    void setLastError(std::string error);

    struct Session;

private:
    enum class ListenOutcome { Pending, Listening, Failed };

    void run(std::shared_ptr<Session> session);
    void reportListening(ListenOutcome outcome);
    void joinIfEnded();
    void post(uintptr_t code);
    template <class Queue>
    bool drainQueue(Queue& queue, cb::History& history);

    AppConfig& config_;
    const ServerSettings settings_;
    TrustedAddressBook addressBook_;
    HostLookups lookups_;

    // Shared with sender threads and polled by the user-interface thread.
    std::atomic<bool> running_{false};
    const std::shared_ptr<std::atomic<bool>> shuttingDown_ = std::make_shared<std::atomic<bool>>(false);
    std::atomic<uint16_t> listeningPort_{0};
    // Whether trusted clients must connect from their host's addresses (option 52), as start()
    // last read it; on until then.
    std::atomic<bool> addressCheck_{true};

    // The thread's lifecycle: never held while another lock is taken.
    mutable std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    ListenOutcome listenOutcome_ = ListenOutcome::Pending;
    std::string lastError_;

    // Touched by the user-interface thread only.
    std::thread thread_;
    std::shared_ptr<Session> session_;

    // The server's lock: the queues and the notify target.
    std::mutex mutex_;
    std::shared_ptr<MessageTarget> target_;
    std::deque<ReceivedEntry<boost::shared_ptr<cb::Record>>> records_;
    std::deque<ReceivedEntry<std::shared_ptr<cb::RecordList>>> lists_;
    std::deque<ReceivedEntry<std::shared_ptr<cb::History>>> histories_;
};

}  // namespace net
