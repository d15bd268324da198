// How long a real copy takes to become a record on Wayland: from starting `wl-copy` with the
// content to the record standing at the front of the listening list, with the clipboard engine
// on the Wayland desktop of a private headless Sway. Covers wl-copy's start, the offer, the
// transfer through the pipe, the conversion and the capture. For 1 KB of text and for a
// 1920x1080 PNG, like the X11 benchmark beside it. Skipped (with a message) where Sway or
// wl-clipboard is missing or Sway cannot start.

#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench/full_hd_picture.h"
#include "engine/clipboard_engine.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_conversions.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_desktop.h"
#include "platform/x11/poll_loop.h"
#include "tests/wayland/wayland_test_support.h"

namespace {

using namespace platform;
using namespace platform::wayland;
using namespace std::chrono_literals;

struct Rig {
    bool start(std::string& error) {
        signal(SIGPIPE, SIG_IGN);
        if (waylandtest::findProgram("wl-copy").empty()) {
            error = "wl-clipboard is not installed";
            return false;
        }
        sway = waylandtest::Sway::start(&error);
        if (!sway) return false;
        connection = WaylandConnection::open(loop, sway->socket().c_str(), &error);
        if (!connection) return false;
        desktop = std::make_unique<WaylandDesktop>(*connection);
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
        connection.reset();
    }

    // Seconds from starting wl-copy to the new record.
    double copyOnce(const std::string& type, const std::string& file) {
        cb::RecordList& list = *history.listeningList();
        if (list.count() > 100) list.clear();
        const size_t before = list.count();
        waylandtest::ChildProcess::Options options;
        options.environment = sway->environment();
        options.stdinPath = file;
        const auto start = std::chrono::steady_clock::now();
        auto wlCopy = waylandtest::ChildProcess::spawn({"wl-copy", "--foreground", "--type", type}, options);
        loop.runUntil([&] { return list.count() > before; }, 30s, 1ms);
        const auto end = std::chrono::steady_clock::now();
        wlCopy.reset();
        return std::chrono::duration<double>(end - start).count();
    }

    x11::PollLoop loop;
    std::unique_ptr<waylandtest::Sway> sway;
    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<WaylandDesktop> desktop;
    AppConfig config;
    cb::History history;
    std::unique_ptr<ClipboardEngine> engine;
};

void run(benchmark::State& state, const std::string& type, const std::string& bytes) {
    Rig rig;
    std::string error;
    if (!rig.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string file = rig.sway->filesDir() + "/content";
    waylandtest::writeFile(file, bytes);
    for (auto _ : state) state.SetIterationTime(rig.copyOnce(type, file));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_WlCopyToRecord_Text1K(benchmark::State& state) {
    std::string text;
    for (int i = 0; text.size() < 1024; ++i) text += "line " + std::to_string(i) + " of copied text\n";
    text.resize(1024);
    run(state, "text/plain;charset=utf-8", text);
}
BENCHMARK(BM_WlCopyToRecord_Text1K)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(3)->ReportAggregatesOnly(true);

void BM_WlCopyToRecord_Png1920x1080(benchmark::State& state) {
    run(state, "image/png", bench::fullHdPng());
}
BENCHMARK(BM_WlCopyToRecord_Png1920x1080)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace
