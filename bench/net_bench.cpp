// Records over loopback, end to end: encoding, the exchange, decoding on the server thread and the
// drain into the target list.

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/codec.h"
#include "net/local_identity.h"
#include "net/sender.h"
#include "net/server.h"
#include "persist/config/option_keys.h"

namespace {

// Counts the server's notifications so the benchmark can wait for deliveries.
class CountingTarget : public net::MessageTarget {
public:
    void post(unsigned, uintptr_t, intptr_t) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++count_;
        }
        changed_.notify_all();
    }
    void waitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(30), [&] { return count_ >= count; }))
            throw std::runtime_error("deliveries did not arrive");
    }
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        count_ = 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t count_ = 0;
};

// Text of about 200 bytes, payload of about 1 KB of incompressible bytes (real payloads are
// compressed already).
cb::RecordPtr makeRecord(std::mt19937& random, int index) {
    auto record = boost::make_shared<cb::Record>();
    std::string text = "Record " + std::to_string(index) + ": ";
    while (text.size() < 200) text += "the quick brown fox jumps over the lazy dog ";
    text.resize(200);
    record->setTextUtf8(text);
    std::string payload(1000, '\0');
    for (char& c : payload) c = static_cast<char>(random());
    record->setPayload(cmn::mblock<char>(std::string_view(payload)));
    record->setApplicationUtf8("/usr/bin/editor");
    return record;
}

// One list of 1000 records for every benchmark that sends or codes a list.
cb::RecordList& thousandRecords() {
    static cb::RecordList* list = [] {
        auto* l = new cb::RecordList(u"Outgoing");
        l->setMaxCount(1000);
        std::mt19937 random(7);
        for (int i = 0; i < 1000; ++i) l->add(makeRecord(random, i));
        return l;
    }();
    return *list;
}

struct Loopback {
    Loopback() {
        config.setPort(kOptServerPort, 0);
        // Where this computer's name resolves to is no business of a throughput figure.
        config.setBool(kOptTrustedClientAddressCheck, false);
        TrustedClientList clients;
        clients.clients = {{net::localHostName(), "", "Inbox"}};
        config.setTrustedClients(clients);
        net::ServerSettings settings;
        settings.bindAddress = "127.0.0.1";
        server = std::make_unique<net::Server>(config, settings);
        server->setNotifyTarget(target);
        if (!server->start()) throw std::runtime_error("cannot listen: " + server->lastError());
        auto* inbox = new cb::RecordList(u"Inbox");
        inbox->setMaxCount(cb::RecordList::kMaxRecords);
        history.insertList(inbox, 0);
        senderSettings.shuttingDown = [] { return false; };
    }

    NetworkAddress address() const { return NetworkAddress("127.0.0.1", server->listeningPort()); }

    AppConfig config;
    cb::History history;
    std::shared_ptr<CountingTarget> target = std::make_shared<CountingTarget>();
    std::unique_ptr<net::Server> server;
    net::SenderSettings senderSettings;
};

void BM_SendList1000(benchmark::State& state) {
    Loopback loopback;
    const cb::RecordList& list = thousandRecords();
    size_t wireBytes = 0;
    for (auto _ : state) {
        loopback.target->reset();
        auto sender = std::make_shared<net::Sender>(loopback.senderSettings);
        if (!sender->prepare(loopback.address(), list)) throw std::runtime_error("prepare failed");
        sender->run();
        if (sender->state() != net::kSendFinished) throw std::runtime_error("send failed");
        loopback.target->waitFor(1);
        if (!loopback.server->drainLists(loopback.history)) throw std::runtime_error("no records");
        if (sender->payloadSize() == 0 || list.count() != 1000) throw std::runtime_error("list");
        wireBytes += sender->payloadSize();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetBytesProcessed(static_cast<int64_t>(wireBytes));
}
BENCHMARK(BM_SendList1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The codec's share of the list transfer: encoding on the sending side, decoding on the server.
void BM_EncodeList1000(benchmark::State& state) {
    const cb::RecordList& list = thousandRecords();
    size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<char> encoded = net::encodeObject(list);
        bytes += encoded.size();
        benchmark::DoNotOptimize(encoded.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_EncodeList1000)->Unit(benchmark::kMillisecond);

void BM_DecodeList1000(benchmark::State& state) {
    const std::vector<char> encoded = net::encodeObject(thousandRecords());
    for (auto _ : state) {
        cb::RecordList list;
        net::decodeObject(encoded, list);
        if (list.count() != 1000) throw std::runtime_error("decoding lost records");
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * encoded.size()));
}
BENCHMARK(BM_DecodeList1000)->Unit(benchmark::kMillisecond);

void BM_TwentyConcurrentSenders(benchmark::State& state) {
    Loopback loopback;
    std::mt19937 random(11);
    std::vector<cb::RecordPtr> records;
    for (int i = 0; i < 20; ++i) records.push_back(makeRecord(random, i));
    size_t wireBytes = 0;
    for (auto _ : state) {
        loopback.target->reset();
        std::vector<std::shared_ptr<net::Sender>> senders;
        for (const auto& record : records) {
            auto sender = std::make_shared<net::Sender>(loopback.senderSettings);
            if (!sender->prepare(loopback.address(), *record))
                throw std::runtime_error("prepare failed");
            senders.push_back(sender);
        }
        for (auto& sender : senders) sender->start();
        loopback.target->waitFor(senders.size());
        if (!loopback.server->drainRecords(loopback.history))
            throw std::runtime_error("no records");
        for (auto& sender : senders) wireBytes += sender->payloadSize();
    }
    state.SetItemsProcessed(state.iterations() * 20);
    state.SetBytesProcessed(static_cast<int64_t>(wireBytes));
}
BENCHMARK(BM_TwentyConcurrentSenders)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
