#include "cli/net_commands.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <ostream>

#include "cli/daemon_control.h"
#include "cli/json_writer.h"
#include "model/history.h"
#include "model/record_list.h"
#include "net/notify.h"
#include "net/sender.h"
#include "net/server.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"

namespace cli {

namespace {

constexpr uint16_t kDefaultPort = 45689;

// Collects the posts of the network's threads for the command's own thread.
class PostQueue : public net::MessageTarget {
public:
    void post(unsigned message, uintptr_t wParam, intptr_t) override {
        if (message != net::kMsgNetNotify) return;
        {
            std::lock_guard lock(mutex_);
            posts_.push_back(wParam);
        }
        changed_.notify_one();
    }
    // The next post, or nothing after the wait.
    std::optional<uintptr_t> next(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, wait, [&] { return !posts_.empty(); })) return std::nullopt;
        const uintptr_t code = posts_.front();
        posts_.pop_front();
        return code;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uintptr_t> posts_;
};

// HOST or HOST:PORT.
NetworkAddress parseAddress(const std::string& text) {
    NetworkAddress address{text, kDefaultPort};
    const auto colon = text.rfind(':');
    if (colon != std::string::npos) {
        const size_t port = parseIndex(text.substr(colon + 1), "PORT");
        if (port == 0 || port > 65535) throw UsageError("PORT must lie between 1 and 65535");
        address.host = text.substr(0, colon);
        address.port = static_cast<int>(port);
    }
    if (address.host.empty()) throw UsageError("HOST is empty");
    return address;
}

cb::RecordList& listNamed(cb::History& history, const std::string& word) {
    if (auto* list = history.findListByName(platform::utf8ToUtf16(word))) return *list;
    if (!word.empty() && word.size() < 10 &&
        word.find_first_not_of("0123456789") == std::string::npos)
        if (auto* list = history.at(std::stoul(word))) return *list;
    throw CommandError("There is no record list \"" + word + "\".");
}

std::atomic<bool> stopRequested{false};
void requestStop(int) { stopRequested = true; }

}  // namespace

int sendCommand(Store& store, Arguments& args, std::ostream& out, bool json, DaemonControl* daemon) {
    const NetworkAddress address = parseAddress(args.take("HOST[:PORT]"));
    std::optional<std::string> listName;
    std::optional<std::pair<std::string, std::string>> record;
    if (auto list = args.takeOption("--list")) {
        listName = list;
    } else if (args.takeFlag("--record")) {
        std::string list = args.take("LIST");
        record = std::make_pair(list, args.take("INDEX"));
    } else {
        throw UsageError("send needs --list LIST or --record LIST INDEX");
    }
    args.expectEnd();

    cb::History& history = store.history();
    net::SenderSettings settings;
    settings.shuttingDown = [] { return false; };
    auto sender = std::make_shared<net::Sender>(settings);
    bool prepared = false;
    if (listName) {
        prepared = sender->prepare(address, listNamed(history, *listName));
    } else {
        const cb::RecordList& list = listNamed(history, record->first);
        const size_t index = parseIndex(record->second, "INDEX");
        if (index >= list.count())
            throw CommandError("The list \"" + list.nameUtf8() + "\" has no record " +
                               record->second + ".");
        prepared = sender->prepare(address, *list.at(index));
    }
    if (!prepared) throw CommandError("The records cannot be prepared for sending.");

    // Only bytes move from here on: the payload is encoded, and records never change.
    DaemonControl::BackgroundWork transfer = [sender, json](std::ostream& to) {
        sender->run();
        const int32_t state = sender->state();
        const char* text = state == net::kSendFinished   ? "Finished"
                           : state == net::kSendRejected ? "Rejected"
                                                         : "Failed";
        if (json) to << JsonWriter().beginObject().key("state").value(text).endObject().text() << '\n';
        else to << text << '\n';
        return state == net::kSendFinished ? 0 : 1;
    };
    if (daemon && daemon->finishInBackground(transfer)) return 0;
    return transfer(out);
}

int receiveCommand(Store& store, Arguments& args, std::ostream& out, bool json) {
    std::optional<size_t> port;
    std::optional<size_t> count;
    while (!args.empty()) {
        if (auto p = args.takeOption("--port")) {
            port = parseIndex(*p, "--port");
            if (*port > 65535) throw UsageError("--port must lie between 0 and 65535");
        } else if (auto k = args.takeOption("--count")) {
            count = parseIndex(*k, "--count");
        } else {
            args.expectEnd();
        }
    }
    AppConfig& config = store.config();
    cb::History& history = store.history();
    // This run only: the saved configuration keeps its port.
    if (port) config.setPort(kOptServerPort, static_cast<uint16_t>(*port));

    auto posts = std::make_shared<PostQueue>();
    net::Server server(config);
    server.setNotifyTarget(posts);
    if (!server.start())
        throw CommandError("Records cannot be received: " + server.lastError());
    if (json)
        out << JsonWriter().beginObject().key("listening").value(static_cast<int>(server.listeningPort())).endObject().text() << '\n';
    else out << "Listening on port " << server.listeningPort() << '\n';
    out.flush();

    stopRequested = false;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    size_t received = 0;
    bool saveFailed = false;
    while (!stopRequested && (!count || received < *count)) {
        const auto code = posts->next(std::chrono::milliseconds(200));
        if (!code) continue;
        if (*code != net::kNotifyRecordArrived && *code != net::kNotifyListArrived &&
            *code != net::kNotifyHistoryArrived)
            continue;
        ++received;
        if (server.drain(*code, history) && !store.saveHistory()) saveFailed = true;
    }
    server.shutdown();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!store.saveHistory() || saveFailed)
        throw CommandError("The history cannot be saved in \"" + store.folder().string() + "\".");
    return 0;
}

}  // namespace cli
