// SearchList::refresh over a full history: 10 lists of 1000 records with texts of about 200
// bytes, case-insensitive, and a search text that occurs nowhere, so every text is scanned to
// its end. The argument picks the search text; short texts are the slow case of a skipping scan.

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "model/history.h"
#include "model/search_list.h"
#include "platform/text_codec.h"

namespace {

constexpr int kLists = 10;
constexpr int kRecordsPerList = 1000;

const char* const kNeedles[] = {"q7", "mq7z", "meeting notes 2024"};

struct Scene {
    cb::History history;
    SearchList* search = nullptr;
    int64_t records = 0;
    int64_t textBytes = 0;

    Scene() {
        std::mt19937 random(7);
        // Words of letters in mixed case: the fold is exercised, and no digit ever occurs.
        const std::string letters = "etaoinshrdlucmfwypvbgkjqxzETAOINSHRDLU";
        for (int l = 0; l < kLists; ++l) {
            auto* list = new cb::RecordList(u"List " + std::u16string(1, char16_t(u'A' + l)));
            list->setMaxCount(kRecordsPerList);
            for (int r = 0; r < kRecordsPerList; ++r) {
                std::string text;
                const size_t length = 180 + random() % 41;
                while (text.size() < length) {
                    const size_t word = 1 + random() % 9;
                    for (size_t i = 0; i < word; ++i) text.push_back(letters[random() % letters.size()]);
                    text.push_back(' ');
                }
                cb::RecordPtr record(new cb::Record());
                record->setTextUtf8(text);
                textBytes += static_cast<int64_t>(text.size());
                ++records;
                list->add(record);
            }
            history.insertList(list, history.count());
        }
        search = new SearchList(u"Search");
        search->setMaxCount(1000);
        history.insertList(search, history.count());
    }
};

void BM_SearchRefreshNoMatch(benchmark::State& state) {
    static Scene scene;
    const char* needle = kNeedles[state.range(0)];
    scene.search->criteria().setText(platform::utf8ToUtf16(needle));
    scene.search->criteria().setMatchCase(false);
    for (auto _ : state) {
        scene.search->refresh(scene.history);
        benchmark::DoNotOptimize(scene.search->count());
    }
    if (scene.search->count() != 0) state.SkipWithError("the search text was found");
    state.SetLabel(std::string("\"") + needle + "\"");
    state.SetItemsProcessed(state.iterations() * scene.records);
    state.SetBytesProcessed(state.iterations() * scene.textBytes);
    state.counters["per_record"] = benchmark::Counter(
        static_cast<double>(scene.records),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SearchRefreshNoMatch)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
