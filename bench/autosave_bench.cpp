// How long one autosave of a full history (9 lists of 1000 records, about 16 MB on disk) holds
// up the event loop. The loop used to write the whole file itself; BM_WriteOnTheLoop is that
// write, the time every capture cost the loop 2 s later. BM_AutosaveOnTheLoop is what the loop
// spends now: the snapshot of the lists and the hand-over to the saver's thread (the write that
// follows is waited for outside the measurement).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "app/history_saver.h"
#include "bench/full_history.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/files/history_file.h"
#include "platform/x11/poll_loop.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kLists = 9;
constexpr int kRecordsPerList = 1000;

void fill(cb::History& history) {
    bench::HistoryShape shape;
    shape.lists = shape.filledLists = kLists;
    shape.records = kRecordsPerList;
    shape.textBytes = 600;
    shape.payloadBytes = 800;
    shape.seed = 11;
    bench::fillHistory(history, shape);
}

fs::path benchFile() { return fs::temp_directory_path() / ("quillet-autosave-bench-" + std::to_string(::getpid())); }

void BM_WriteOnTheLoop(benchmark::State& state) {
    cb::History history;
    fill(history);
    const fs::path file = benchFile();
    for (auto _ : state)
        if (!persist::saveHistory(history, file)) state.SkipWithError("save failed");
    state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
    fs::remove(file);
}
// A fixed count: each iteration writes 16 MB, and the figure is steady after a few.
BENCHMARK(BM_WriteOnTheLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_AutosaveOnTheLoop(benchmark::State& state) {
    cb::History history;
    fill(history);
    const fs::path file = benchFile();
    platform::x11::PollLoop loop;
    int saved = 0;
    bool failed = false;
    app::HistorySaver saver(
        loop, history, [&file](const cb::History& snapshot) { return persist::saveHistory(snapshot, file); },
        [&](bool written) {
            ++saved;
            failed = failed || !written;
        });
    for (auto _ : state) {
        saver.save();
        state.PauseTiming();
        const int target = saved + 1;
        loop.runUntil([&] { return saved >= target; }, std::chrono::seconds(60));
        state.ResumeTiming();
    }
    if (failed) state.SkipWithError("save failed");
    state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
    fs::remove(file);
}
BENCHMARK(BM_AutosaveOnTheLoop)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20);

}  // namespace
