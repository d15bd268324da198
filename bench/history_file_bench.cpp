// Saving and loading a full history file: 10 lists of 1000 records, texts of about 200 bytes,
// payloads of about 1 KB. The load runs beside Boost 1.74's own text_iarchive reading the same
// file, the format's origin and the loader's yardstick.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bench/boost_history_reader.h"
#include "bench/full_history.h"

#include "model/history.h"
#include "model/record_list.h"
#include "persist/files/history_file.h"

namespace {

namespace fs = std::filesystem;

void fill(cb::History& history) { bench::fillHistory(history, bench::HistoryShape{}); }

fs::path benchFile() {
    return fs::temp_directory_path() / ("quillet-bench-" + std::to_string(::getpid()));
}

void BM_SaveHistory(benchmark::State& state) {
    cb::History history;
    fill(history);
    const fs::path file = benchFile();
    for (auto _ : state) {
        if (!persist::saveHistory(history, file)) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
    state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
    fs::remove(file);
}
BENCHMARK(BM_SaveHistory)->Unit(benchmark::kMillisecond);

void BM_LoadHistory(benchmark::State& state) {
    const fs::path file = benchFile();
    {
        cb::History history;
        fill(history);
        persist::saveHistory(history, file);
    }
    for (auto _ : state) {
        cb::History loaded;
        if (persist::loadHistoryAtStart(loaded, file) != persist::StartFile::Loaded)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded.count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
    fs::remove(file);
}
BENCHMARK(BM_LoadHistory)->Unit(benchmark::kMillisecond);

void BM_LoadHistoryWithBoostTextArchive(benchmark::State& state) {
    const fs::path file = benchFile();
    size_t records = 0;
    {
        cb::History history;
        fill(history);
        persist::saveHistory(history, file);
        for (size_t l = 0; l < history.count(); ++l) records += history.at(l)->count();
    }
    std::vector<char> buffer(256 * 1024);
    for (auto _ : state) {
        std::ifstream in;
        in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        in.open(file, std::ios::binary);
        in.seekg(4);  // the magic
        boost_reference::History loaded;
        boost_reference::readHistory(in, loaded);
        size_t loadedRecords = 0;
        for (auto* list : loaded.lists) loadedRecords += list->records.size();
        if (loadedRecords != records) state.SkipWithError("Boost read a different history");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
    fs::remove(file);
}
BENCHMARK(BM_LoadHistoryWithBoostTextArchive)->Unit(benchmark::kMillisecond);

}  // namespace
