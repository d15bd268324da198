// How long a real copy takes to become a record on X11: from starting `xclip` with the content
// to the record standing at the front of the listening list, with the clipboard engine on the
// X11 desktop of a private Xvfb. Covers xclip's start, TARGETS, the transfer (INCR for the
// picture), the conversion and the capture. For 1 KB of text and for a 1920x1080 PNG.
// Skipped (with a message) where Xvfb or xclip is missing.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench/full_hd_picture.h"
#include "engine/clipboard_engine.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_conversions.h"
#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/x11_desktop.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace platform;
using namespace platform::x11;
using namespace std::chrono_literals;

struct Rig {
    bool start(std::string& error) {
        if (x11test::findProgram("Xvfb").empty() || x11test::findProgram("xclip").empty()) {
            error = "Xvfb or xclip is not installed";
            return false;
        }
        xvfb = x11test::Xvfb::start(&error);
        if (!xvfb) return false;
        connection = Connection::open(loop, xvfb->display().c_str(), &error);
        if (!connection) return false;
        loop.watch(connection->fd(), [this] { connection->processPendingEvents(); });
        X11DesktopOptions options;
        options.serveAfterExit = false;
        desktop = std::make_unique<X11Desktop>(*connection, options);
        config.setBool(1005, true);  // pictures are recorded
        config.setBool(34, true);    // every copy is a record, so the same content can repeat
        history.resetToDefault();
        engine = std::make_unique<ClipboardEngine>(*desktop, config, history);
        const auto window = desktop->createWindow(u"QuilletMainWindow", [this](uint32_t m, uintptr_t w, intptr_t l) {
            intptr_t result = 0;
            return engine->handleMessage(m, w, l, result) ? result : 0;
        });
        engine->start(window);
        return true;
    }
    ~Rig() {
        if (engine) engine->stop();
        engine.reset();
        desktop.reset();
        if (connection) loop.unwatch(connection->fd());
        connection.reset();
    }

    // Seconds from starting xclip to the new record.
    double copyOnce(const std::string& target, const std::string& file) {
        cb::RecordList& list = *history.listeningList();
        if (list.count() > 100) list.clear();
        const size_t before = list.count();
        const auto start = std::chrono::steady_clock::now();
        auto xclip = x11test::ChildProcess::spawn({"xclip", "-selection", "clipboard", "-t", target, "-i", "-quiet"},
                                                  xvfb->display(), file, {});
        loop.runUntil([&] { return list.count() > before; }, 30s, 1ms);
        const auto end = std::chrono::steady_clock::now();
        xclip.reset();
        return std::chrono::duration<double>(end - start).count();
    }

    PollLoop loop;
    x11test::TempDir dir;
    std::unique_ptr<x11test::Xvfb> xvfb;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<X11Desktop> desktop;
    AppConfig config;
    cb::History history;
    std::unique_ptr<ClipboardEngine> engine;
};

void run(benchmark::State& state, const std::string& target, const std::string& bytes) {
    Rig rig;
    std::string error;
    if (!rig.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string file = rig.dir.write("content", bytes);
    for (auto _ : state) state.SetIterationTime(rig.copyOnce(target, file));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_XclipCopyToRecord_Text1K(benchmark::State& state) {
    std::string text;
    for (int i = 0; text.size() < 1024; ++i) text += "line " + std::to_string(i) + " of copied text\n";
    text.resize(1024);
    run(state, "UTF8_STRING", text);
}
BENCHMARK(BM_XclipCopyToRecord_Text1K)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(3)->ReportAggregatesOnly(true);

void BM_XclipCopyToRecord_Png1920x1080(benchmark::State& state) {
    run(state, "image/png", bench::fullHdPng());
}
BENCHMARK(BM_XclipCopyToRecord_Png1920x1080)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace
