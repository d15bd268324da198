// Archive write and read throughput over a payload-heavy stream: 1000 records, each with a
// 200-byte text and a 1 KB binary payload, as the history file stores them.

#include <benchmark/benchmark.h>

#include <deque>
#include <random>
#include <sstream>

#include "model/record.h"
#include "persist/archive/archive.h"

namespace {

struct Records {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    std::deque<cb::RecordPtr> records;
    template <class A>
    void serialize(A& ar, unsigned) {
        ar(records);
    }
};

Records makeRecords(int count) {
    std::mt19937 random(42);
    Records r;
    for (int i = 0; i < count; ++i) {
        cb::RecordPtr record(new cb::Record());
        std::string payload(1024, '\0');
        for (auto& c : payload) c = static_cast<char>(random());
        record->setPayload(cmn::mblock<char>(payload));
        std::string text(200, 'x');
        for (auto& c : text) c = static_cast<char>('a' + random() % 26);
        record->setTextUtf8(text);
        record->setApplicationUtf8("/usr/bin/editor");
        r.records.push_back(record);
    }
    return r;
}

void BM_ArchiveWrite(benchmark::State& state) {
    const Records records = makeRecords(1000);
    size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out;
        cmn::archive::save(records, out);
        bytes = out.str().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ArchiveWrite)->Unit(benchmark::kMillisecond);

void BM_ArchiveRead(benchmark::State& state) {
    std::ostringstream out;
    cmn::archive::save(makeRecords(1000), out);
    const std::string text = out.str();
    for (auto _ : state) {
        std::istringstream in(text);
        Records back;
        cmn::archive::load(back, in, cmn::archive::Limits::forFiles());
        benchmark::DoNotOptimize(back.records.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ArchiveRead)->Unit(benchmark::kMillisecond);

}  // namespace
