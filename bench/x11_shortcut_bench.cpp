// How fast the shortcuts answer on X11, through the real key grabs, with the engine on the X11
// desktop of a private Xvfb with openbox and paste_target in front:
//   ShortcutToPopupMapped: from the shortcut's key press (XTest, from another client) to the
//     popup's window mapped (the server's MapNotify, seen by another client);
//   ModifierReleaseToPaste: from the release of the modifier (XTest) to the record's text
//     arriving in paste_target (grab, dispatch, clipboard write, injected Ctrl+V, its request for
//     CLIPBOARD and our answer).
// The popup is a plain override-redirect window here, shown and hidden as the real one is.
// Each repetition is one measurement; the median of 20 is the figure. Skipped (with a message)
// where Xvfb or openbox is missing.

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <boost/make_shared.hpp>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/clipboard_engine.h"
#include "engine/clipboard_writer.h"
#include "engine/shortcut_dispatch.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/window_queries.h"
#include "platform/x11/x11_desktop.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace platform::x11;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Popup final : public engine::PopupKeys {
public:
    Popup(Display* d, ClipboardEngine& engine, cb::History& history) : d_(d), engine_(engine), history_(history) {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        window_ = XCreateWindow(d, DefaultRootWindow(d), 100, 100, 300, 200, 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWOverrideRedirect, &a);
        XStoreName(d, window_, "quillet-popup");
    }
    bool popupVisible() const override { return visible_; }
    void showPopup(bool) override {
        visible_ = true;
        selected_ = 0;
        XMapRaised(d_, window_);
        XFlush(d_);
        engine_.setPickingWindowShown(true);
    }
    void selectAdjacentInPopup(bool next) override { selected_ += next ? 1 : 0; }
    void pastePopupSelection() override {
        hidePopup();
        cb::RecordList& list = *history_.listeningList();
        engine_.pasteRecord(list.records().at(selected_ % list.count()), &list);
    }
    void hidePopup() override {
        visible_ = false;
        XUnmapWindow(d_, window_);
        XFlush(d_);
        engine_.setPickingWindowShown(false);
    }
    Window window() const { return window_; }

private:
    Display* d_;
    ClipboardEngine& engine_;
    cb::History& history_;
    Window window_ = 0;
    bool visible_ = false;
    size_t selected_ = 0;
};

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
        connection = Connection::open(loop, xvfb->display().c_str(), &error);
        if (!connection) return false;
        loop.watch(connection->fd(), [this] { connection->processPendingEvents(); });
        observer = XOpenDisplay(xvfb->display().c_str());
        keyboard = XOpenDisplay(xvfb->display().c_str());
        if (!observer || !keyboard) return (error = "cannot open the display"), false;
        XSelectInput(observer, DefaultRootWindow(observer), SubstructureNotifyMask);
        XSync(observer, False);
        loop.watch(ConnectionNumber(observer), [this] {
            while (XPending(observer) > 0) {
                XEvent e;
                XNextEvent(observer, &e);
                if (e.type == MapNotify && popup && e.xmap.window == popup->window()) mappedAt = Clock::now();
            }
        });

        X11DesktopOptions options;
        options.serveAfterExit = false;
        desktop = std::make_unique<X11Desktop>(*connection, options);
        history.resetToDefault();
        for (const char16_t* text : {u"second record", u"first record"}) {
            auto record = boost::make_shared<cb::Record>();
            cb::makeTextOnlyRecord(*record, text);
            history.listeningList()->insert(record, 0);
        }
        engine = std::make_unique<ClipboardEngine>(*desktop, config, history);
        popup = std::make_unique<Popup>(connection->display(), *engine, history);
        dispatch = std::make_unique<engine::ShortcutDispatch>(config.options(), [this] { engine->deliverPaste(); });
        dispatch->setPopup(popup.get());
        engine->setKeyboardDispatch(dispatch.get());
        const auto window = desktop->createWindow(u"QuilletMainWindow", [this](uint32_t m, uintptr_t w, intptr_t l) {
            intptr_t result = 0;
            return engine->handleMessage(m, w, l, result) ? result : 0;
        });
        engine->start(window);
        target = x11test::PasteTarget::start(QUILLET_PASTE_TARGET, xvfb->display(), dir.path(), "Editor", "normal",
                                             &error);
        if (!target) return false;
        loop.runUntil([&] { return activeWindow(*connection) == target->window(); }, 10s);
        return true;
    }
    ~Rig() {
        if (engine) engine->stop();
        engine.reset();
        desktop.reset();
        if (observer) {
            loop.unwatch(ConnectionNumber(observer));
            XCloseDisplay(observer);
        }
        if (keyboard) XCloseDisplay(keyboard);
        if (connection) loop.unwatch(connection->fd());
        target.reset();
        connection.reset();
    }

    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(keyboard, XKeysymToKeycode(keyboard, sym), down ? True : False, CurrentTime);
        XSync(keyboard, False);
    }
    void settle() { loop.runUntil([] { return false; }, 30ms); }

    // Seconds from the press of V (Super held) to the popup mapped; the popup is closed after.
    double showOnce() {
        mappedAt.reset();
        key(XK_Super_L, true);
        settle();
        const auto start = Clock::now();
        key(XK_v, true);
        loop.runUntil([&] { return mappedAt.has_value(); }, 10s, 1ms);
        const double seconds = mappedAt ? std::chrono::duration<double>(*mappedAt - start).count() : 10.0;
        key(XK_v, false);
        key(XK_Escape, true);
        key(XK_Escape, false);
        key(XK_Super_L, false);
        settle();
        return seconds;
    }

    // Seconds from the release of Super to the record's text in paste_target.
    double pasteOnce() {
        key(XK_Super_L, true);
        key(XK_v, true);
        key(XK_v, false);
        loop.runUntil([&] { return popup->popupVisible(); }, 10s, 1ms);
        settle();
        const size_t before = target->pasted().size();
        const auto start = Clock::now();
        key(XK_Super_L, false);
        loop.runUntil([&] { return target->pasted().size() >= before + 12; }, 10s, 1ms);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        settle();
        return seconds;
    }

    platform::x11::PollLoop loop;
    x11test::TempDir dir;
    std::unique_ptr<x11test::Xvfb> xvfb;
    std::unique_ptr<x11test::ChildProcess> wm;
    std::unique_ptr<Connection> connection;
    Display* observer = nullptr;
    Display* keyboard = nullptr;
    std::unique_ptr<X11Desktop> desktop;
    AppConfig config;
    cb::History history;
    std::unique_ptr<ClipboardEngine> engine;
    std::unique_ptr<Popup> popup;
    std::unique_ptr<engine::ShortcutDispatch> dispatch;
    std::unique_ptr<x11test::PasteTarget> target;
    std::optional<Clock::time_point> mappedAt;
};

// One desktop for all repetitions: starting Xvfb and openbox is not what is measured. It ends
// at exit, before the statics the X connection uses (made while it started) are gone.
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
