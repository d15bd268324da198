// How quickly the history views show records: opening a tab of 1000 records and scrolling it
// from top to bottom, and a search over 10 lists of 1000 records from the moment the typing
// pause has passed to the rows painted. A frame lasts 16 ms; each of these should fit in one.

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <string>

#include "model/history.h"
#include "model/search_list.h"
#include "persist/config/app_config.h"
#include "ui/views/app_icon_provider.h"
#include "ui/views/record_list_view.h"
#include "ui/views/record_list_window.h"
#include "ui/views/search_list_window.h"
#include "ui/views/view_context.h"

namespace {

const char* const kWords[] = {"alpha", "report", "meeting", "invoice", "https://example.org/page",
                              "total", "Quarterly", "draft", "note", "address", "call back"};

cb::RecordPtr sampleRecord(int list, int index) {
    cb::RecordPtr r(new cb::Record());
    std::string text = "  ";
    for (int w = 0; w < 12; ++w) text += std::string(kWords[(index * 7 + w * 3 + list) % 11]) + " ";
    text += std::to_string(list) + "-" + std::to_string(index) + "\nsecond line of the record";
    r->setTextUtf8(text);
    r->setApplicationUtf8(index % 3 ? "/usr/bin/gedit" : "/usr/lib/firefox/firefox");
    return r;
}

struct Views {
    cb::History history;
    AppConfig config;
    AppIconProvider icons;
    ViewActions actions;
    ViewContext context{history, config, icons, actions};

    explicit Views(int lists) {
        history.setMaxLists(lists + 1);
        for (int l = 0; l < lists; ++l) {
            auto* list = new cb::RecordList(u"List " + std::u16string(1, char16_t(u'0' + l)));
            list->setMaxCount(1000);
            for (int i = 999; i >= 0; --i) list->add(sampleRecord(l, i));
            history.insertList(list, static_cast<size_t>(l));
        }
        auto* search = new SearchList(u"Search");
        search->setMaxCount(1000);
        history.insertList(search, history.count());
    }
};

// Painting into an image does all the work of a frame on any platform plugin.
QImage newFrame() { return QImage(400, 600, QImage::Format_ARGB32_Premultiplied); }

void OpenTabOf1000Records(benchmark::State& state) {
    Views views(1);
    QImage frame = newFrame();
    for (auto _ : state) {
        RecordListWindow window(*views.history.at(0), views.context);
        window.resize(400, 600);
        window.show();
        window.render(&frame);
    }
}
BENCHMARK(OpenTabOf1000Records)->Unit(benchmark::kMillisecond);

// One iteration scrolls through the whole list a page at a time, painting every page; the
// figure per frame is the time divided by the pages.
void ScrollTabOf1000RecordsTopToBottom(benchmark::State& state) {
    Views views(1);
    RecordListWindow window(*views.history.at(0), views.context);
    window.resize(400, 600);
    window.show();
    QImage frame = newFrame();
    window.render(&frame);
    QScrollBar* bar = window.view().verticalScrollBar();
    int64_t pages = 0;
    for (auto _ : state) {
        for (int value = 0;; value += bar->pageStep()) {
            bar->setValue(std::min(value, bar->maximum()));
            window.render(&frame);
            ++pages;
            if (value >= bar->maximum()) break;
        }
    }
    // Time per painted page (CPU time; divide the wall time by pages for the wall figure).
    state.counters["frame"] = benchmark::Counter(static_cast<double>(pages),
                                                 benchmark::Counter::kIsRate |
                                                     benchmark::Counter::kInvert);
    state.counters["pages"] = benchmark::Counter(static_cast<double>(pages),
                                                 benchmark::Counter::kAvgIterations);
}
BENCHMARK(ScrollTabOf1000RecordsTopToBottom)->Unit(benchmark::kMillisecond);

// Typing a word letter by letter over 10 x 1000 records: each step is what happens when the
// typing pause has passed: the search and the painted rows.
void SearchAsYouTypeOver10x1000Records(benchmark::State& state) {
    Views views(10);
    auto& search = static_cast<SearchList&>(*views.history.at(10));
    SearchListWindow window(search, views.context);
    window.resize(400, 600);
    window.show();
    QImage frame = newFrame();
    window.render(&frame);
    const QString word = "meeting";
    int64_t searches = 0;
    for (auto _ : state) {
        for (int n = 1; n <= word.size(); ++n) {
            window.searchEdit().setText(word.left(n));
            window.searchNow();
            window.render(&frame);
            ++searches;
        }
        window.searchEdit().clear();
        window.searchNow();
        ++searches;
    }
    state.counters["search"] = benchmark::Counter(static_cast<double>(searches),
                                                  benchmark::Counter::kIsRate |
                                                      benchmark::Counter::kInvert);
    state.counters["searches"] = benchmark::Counter(static_cast<double>(searches),
                                                    benchmark::Counter::kAvgIterations);
}
BENCHMARK(SearchAsYouTypeOver10x1000Records)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
