#pragma once

// The sending side: one transfer of one record or one whole list to one other computer, on a
// thread of its own. The payload is encoded before the thread starts, so the thread only moves
// bytes; records are immutable once complete, so encoding one the lists also hold is safe.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "net/messages.h"
#include "net/notify.h"
#include "net/socket_io.h"
#include "persist/config/app_config.h"
#include "persist/config/network_address.h"

namespace cb {
class Record;
class RecordList;
}  // namespace cb

namespace net {

class NetworkLog;

// Posted as kMsgNetNotify with the state in wParam.
enum SendStatus : int32_t {
    kSendNotStarted = 0,
    kSendFailed = 1,
    kSendProgress = 3,  // lParam: payload bytes written so far
    kSendRejected = 4,
    kSendFinished = 5,
};

struct SenderSettings {
    Timeouts timeouts;
    // Whether the program is ending: its receiving server's shuttingDownCheck(). Unset for a
    // transfer that only a cancel ends (a command line's send, which ends with its process).
    std::function<bool()> shuttingDown;
    // Where finished and failed transfers are written down; null: nowhere. Shared: a transfer
    // thread may outlive whoever started it.
    std::shared_ptr<NetworkLog> log;
};

// Create through std::make_shared: the transfer thread holds a shared reference, so the sender
// outlives a dialog that is closed during the transfer.
class Sender : public std::enable_shared_from_this<Sender> {
public:
    // Above this a payload goes out in pieces of this size, with Progress after each.
    static constexpr size_t kPieceBytes = 1024;

    explicit Sender(SenderSettings settings = {});
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Encodes the object and fills the query (kind, version, the login name). False when the
    // object cannot be encoded or is larger than a receiver accepts; the sender is not to be
    // started then. User-interface thread.
    bool prepare(const NetworkAddress& address, const cb::Record& record);
    bool prepare(const NetworkAddress& address, const cb::RecordList& list);
    // An object encoded elsewhere (one encoding shared by several transfers).
    bool prepareEncoded(const NetworkAddress& address, int32_t objectKind,
                        std::shared_ptr<const std::vector<char>> payload);

    // Runs the transfer on a detached thread holding a shared reference to this sender.
    void start();
    // The transfer itself; start() runs it.
    void run();

    // Where the states go; null for none.
    void setNotifyTarget(std::shared_ptr<MessageTarget> target);
    // The dialog was closed: no more posts, and the thread abandons at its next step.
    void cancel();
    bool cancelled() const { return cancelled_.load(); }
    // The last state posted (kSendNotStarted before the first).
    int32_t state() const;

    const NetworkAddress& address() const { return address_; }
    // The query as prepared; the host name is filled in only on the wire.
    const QueryInfo& query() const { return query_; }
    size_t payloadSize() const { return payload_ ? payload_->size() : 0; }

private:
    bool abandoned() const;
    void postState(int32_t state, intptr_t param = 0);
    void log(const std::string& text);

    SenderSettings settings_;
    QueryInfo query_;
    std::shared_ptr<const std::vector<char>> payload_;
    NetworkAddress address_{std::string(), -1};
    std::atomic<bool> cancelled_{false};

    mutable std::mutex mutex_;  // the target and the state
    std::shared_ptr<MessageTarget> target_;
    int32_t state_ = kSendNotStarted;
};

// Starts one unseen transfer of the record to each host, in list order, all sharing one
// encoding. Returns how many were started. User-interface thread.
size_t sendToHosts(const cb::Record& record, const std::vector<NetworkAddress>& hosts,
                   const SenderSettings& settings = {});

// What the capture calls for each new record: nothing unless automatic sending (option 19) is
// on, then sendToHosts with the automatic-send hosts. Records that arrived from the network are
// never passed here. User-interface thread.
size_t sendCapturedRecord(const cb::Record& record, const AppConfig& config, const SenderSettings& settings);

}  // namespace net
