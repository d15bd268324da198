// How fast the shortcuts answer in the real program (`quillet` with its windows) on a private
// Xvfb with openbox and paste_target in front, driven from another client with XTest:
//   ShortcutToPopupMapped: from the press of V (Super held) to the quillet-popup window mapped
//     (the server's MapNotify, seen by another client): grab, dispatch, the caret lookup and the
//     window shown;
//   ModifierReleaseToPaste: from the release of Super to the record's text arriving in
//     paste_target (state notification, dispatch, clipboard write, injected Ctrl+V, its request
//     for CLIPBOARD and our answer).
// Each repetition is one measurement; the median of 20 is the figure. Skipped (with a message)
// where Xvfb or openbox is missing.

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kFirstRecord = "first record";

struct Rig {
    bool start(std::string& error) {
        for (const char* p : {"Xvfb", "openbox"})
            if (x11test::findProgram(p).empty()) {
                error = std::string(p) + " is not installed";
                return false;
            }
        xvfb = x11test::Xvfb::start(&error);
        if (!xvfb) return false;
        wm = x11test::startWindowManager(xvfb->display(), &error);
        if (!wm) return false;
        observer = XOpenDisplay(xvfb->display().c_str());
        keyboard = XOpenDisplay(xvfb->display().c_str());
        if (!observer || !keyboard) return (error = "cannot open the display"), false;
        XSelectInput(observer, DefaultRootWindow(observer), SubstructureNotifyMask);
        XSync(observer, False);

        const std::string folder = dir.path() + "/data";
        for (const char* text : {"second record", kFirstRecord})
            if (x11test::runProgram({QUILLET_BINARY, "--data-dir", folder, "add", "--text", text}, xvfb->display()) != 0)
                return (error = "quillet add failed"), false;
        // Answers the first-run question ahead (option 36: a configuration file exists then).
        x11test::runProgram({QUILLET_BINARY, "--data-dir", folder, "config", "set", "36", "1"}, xvfb->display());
        program = x11test::ChildProcess::spawn({QUILLET_BINARY, "--data-dir", folder}, xvfb->display(), {}, {}, &error);
        if (!program) return false;
        // Without a tray its main window shows: the editor comes up after it, in front.
        auto shows = [&](const char* instance) {
            return x11test::runProgram({"xdotool", "search", "--onlyvisible", "--classname", instance},
                                       xvfb->display()) == 0;
        };
        if (!waitFor([&] { return shows("quillet-floating") || shows("quillet-main"); }, 20s))
            return (error = "the program did not show"), false;
        target = x11test::PasteTarget::start(QUILLET_PASTE_TARGET, xvfb->display(), dir.path(), "Editor", "normal",
                                             &error);
        if (!target) return false;
        // The shortcuts are there once Super+V opens the popup.
        key(XK_Super_L, true);
        const bool ready = waitFor(
            [&] {
                key(XK_v, true);
                key(XK_v, false);
                return waitFor([&] { return popupMapped.has_value(); }, 500ms);
            },
            20s);
        key(XK_Escape, true);
        key(XK_Escape, false);
        key(XK_Super_L, false);
        if (!ready) return (error = "the popup did not open"), false;
        settle();
        return true;
    }
    ~Rig() {
        target.reset();
        program.reset();
        if (observer) XCloseDisplay(observer);
        if (keyboard) XCloseDisplay(keyboard);
    }

    // Reads the observer's events while waiting: the popup's mapping time is taken as the event
    // is read, before its class is asked for.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() > end) return false;
            pollfd fd{ConnectionNumber(observer), POLLIN, 0};
            ::poll(&fd, 1, 1);
            while (XPending(observer) > 0) {
                XEvent e;
                XNextEvent(observer, &e);
                if (e.type != MapNotify) continue;
                const auto at = Clock::now();
                if (instanceOf(e.xmap.window) == "quillet-popup") popupMapped = at;
            }
        }
        return true;
    }
    std::string instanceOf(Window w) {
        XClassHint hint{};
        if (!XGetClassHint(observer, w, &hint)) return {};
        std::string name = hint.res_name ? hint.res_name : "";
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return name;
    }

    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(keyboard, XKeysymToKeycode(keyboard, sym), down ? True : False, CurrentTime);
        XSync(keyboard, False);
    }
    void settle() { waitFor([] { return false; }, 50ms); }

    // Seconds from the press of V (Super held) to the popup mapped; the popup is closed after.
    double showOnce() {
        popupMapped.reset();
        key(XK_Super_L, true);
        settle();
        const auto start = Clock::now();
        key(XK_v, true);
        waitFor([&] { return popupMapped.has_value(); }, 10s);
        const double seconds = popupMapped ? std::chrono::duration<double>(*popupMapped - start).count() : 10.0;
        key(XK_v, false);
        key(XK_Escape, true);
        key(XK_Escape, false);
        key(XK_Super_L, false);
        settle();
        return seconds;
    }

    // Seconds from the release of Super to the first record's text in paste_target.
    double pasteOnce() {
        popupMapped.reset();
        key(XK_Super_L, true);
        key(XK_v, true);
        key(XK_v, false);
        waitFor([&] { return popupMapped.has_value(); }, 10s);
        settle();
        const size_t before = target->pasted().size();
        const auto start = Clock::now();
        key(XK_Super_L, false);
        waitFor([&] { return target->pasted().size() >= before + std::strlen(kFirstRecord); }, 10s);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        settle();
        return seconds;
    }

    x11test::TempDir dir;
    std::unique_ptr<x11test::Xvfb> xvfb;
    std::unique_ptr<x11test::ChildProcess> wm;
    Display* observer = nullptr;
    Display* keyboard = nullptr;
    std::unique_ptr<x11test::ChildProcess> program;
    std::unique_ptr<x11test::PasteTarget> target;
    std::optional<Clock::time_point> popupMapped;
};

// One desktop and program for all repetitions: starting them is not what is measured.
std::unique_ptr<Rig> shared;

Rig* rig(std::string& error) {
    static std::string failure;
    if (!shared && failure.empty()) {
        shared = std::make_unique<Rig>();
        if (!shared->start(failure)) shared.reset();
        std::atexit([] { shared.reset(); });
    }
    error = failure;
    return shared.get();
}

void BM_ShortcutToPopupMapped(benchmark::State& state) {
    std::string error;
    Rig* r = rig(error);
    if (!r) return state.SkipWithError(error.c_str());
    for (auto _ : state) state.SetIterationTime(r->showOnce());
}
BENCHMARK(BM_ShortcutToPopupMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true);

void BM_ModifierReleaseToPaste(benchmark::State& state) {
    std::string error;
    Rig* r = rig(error);
    if (!r) return state.SkipWithError(error.c_str());
    for (auto _ : state) state.SetIterationTime(r->pasteOnce());
}
BENCHMARK(BM_ModifierReleaseToPaste)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true);

}  // namespace
