// Start-up of the windowed program with a full history (9 lists of 1000 records): from the
// process's start to its tray icon registered with the desktop's tray. Each iteration starts a
// private Xvfb, session bus, openbox and stand-in tray (tests/app/tray_watcher), then the
// program on the same files, waits for the tray to report it, and ends it with SIGTERM.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench/full_history.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "persist/files/config_file.h"
#include "persist/files/data_folder.h"
#include "persist/files/history_file.h"
#include "tests/x11/x11_test_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void writeFullDataFolder(const fs::path& folder) {
    cb::History history;
    bench::HistoryShape shape;
    shape.filledLists = 9;
    shape.skipSearchLists = true;
    shape.seed = 11;
    bench::fillHistory(history, shape);
    persist::saveHistory(history, folder / persist::kHistoryFileName);
    AppConfig config;
    persist::saveAtExit(config, folder);
}

// The lines the tray wrote so far.
std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t countRegistrations(const std::string& log) {
    size_t count = 0;
    for (size_t at = log.find("registered "); at != std::string::npos; at = log.find("registered ", at + 1))
        if (at == 0 || log[at - 1] == '\n') ++count;
    return count;
}

// A desktop of its own: X server, session bus, window manager and stand-in tray.
struct Desktop {
    std::unique_ptr<x11test::Xvfb> xvfb;
    std::unique_ptr<x11test::ChildProcess> bus, windowManager, tray;
    std::string trayLog;

    bool start(const std::string& dir, std::string& error) {
        xvfb = x11test::Xvfb::start(&error);
        if (!xvfb) return false;
        const std::string busAddressFile = dir + "/bus";
        fs::remove(busAddressFile);
        bus = x11test::ChildProcess::spawn({"dbus-daemon", "--session", "--nofork", "--print-address"},
                                           xvfb->display(), {}, busAddressFile, &error);
        if (!bus) return false;
        std::string address;
        for (int i = 0; i < 500 && address.find('\n') == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            address = readAll(busAddressFile);
        }
        if (address.find('\n') == std::string::npos) return (error = "no session bus", false);
        address.resize(address.find('\n'));
        // For everything started from here on.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        windowManager = x11test::startWindowManager(xvfb->display(), &error);
        trayLog = dir + "/tray";
        fs::remove(trayLog);
        tray = x11test::ChildProcess::spawn({QUILLET_TRAY_WATCHER}, xvfb->display(), {}, trayLog, &error);
        for (int i = 0; i < 500 && readAll(trayLog).find("ready") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return tray && readAll(trayLog).find("ready") != std::string::npos;
    }
};

void BM_StartToTrayIcon(benchmark::State& state) {
    x11test::TempDir dir;
    const fs::path folder = fs::path(dir.path()) / "data";
    fs::create_directories(folder);
    writeFullDataFolder(folder);
    // Every start finds the same files (the program rewrites them when it ends) on a fresh
    // desktop, as at logon.
    const fs::path pristine = fs::path(dir.path()) / "pristine";
    fs::create_directories(pristine);
    for (const char* name : {persist::kHistoryFileName, persist::kConfigFileName})
        fs::copy_file(folder / name, pristine / name);
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    for (auto _ : state) {
        for (const char* name : {persist::kHistoryFileName, persist::kConfigFileName})
            fs::copy_file(pristine / name, folder / name, fs::copy_options::overwrite_existing);
        std::string error;
        Desktop desktop;
        if (!desktop.start(dir.path(), error)) {
            state.SkipWithError(("desktop: " + error).c_str());
            break;
        }
        const Clock::time_point start = Clock::now();
        auto program = x11test::ChildProcess::spawn({QUILLET_BINARY, "--data-dir", folder.string()},
                                                    desktop.xvfb->display(), {}, {}, &error);
        bool shown = false;
        while (program && !shown && Clock::now() - start < std::chrono::seconds(20)) {
            shown = countRegistrations(readAll(desktop.trayLog)) > 0;
            if (!shown) std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!shown) {
            state.SkipWithError("the tray icon did not appear");
            break;
        }
        state.SetIterationTime(seconds);
        program->stop();
    }
}
BENCHMARK(BM_StartToTrayIcon)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

}  // namespace
