// Focus tracking, window queries and activation against a real X server, with openbox as the
// window manager and without one, and other programs' windows (paste_target, xdotool). Skipped
// where Xvfb, openbox or xdotool is not installed.

// gtest before Xlib: Xlib's macros (None, Bool) would break gtest's own names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

#include "platform/x11/focus_tracker.h"
#include "platform/x11/window_activation.h"
#include "platform/x11/window_queries.h"
#include "tests/x11/desktop_fixture.h"

namespace {

using namespace platform::x11;
using namespace std::chrono_literals;
using platform::kNoWindow;
using platform::WindowHandle;
using x11test::PasteTarget;

WindowHandle handle(XId w) { return WindowHandle{w}; }

// The child of the root that holds the window: the manager's frame around a client.
XId frameOf(Display* d, XId w) {
    for (;;) {
        Window root = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(d, w, &root, &parent, &children, &count)) return None;
        if (children) XFree(children);
        if (parent == root) return w;
        w = parent;
    }
}

class X11Focus : public x11test::DesktopFixture {
protected:
    void SetUp() override { startDesktop(true, {"xdotool"}); }

    void activate(XId w) {
        ASSERT_TRUE(activateWindow(connection(), w));
        settle();
    }
};

TEST_F(X11Focus, RemembersTheOtherProgramsWindowWhileOursIsActive) {
    FocusTracker tracker(connection());
    tracker.initialize(kNoWindow, kNoWindow);
    PasteTarget& editor = startTarget("Gedit");
    PasteTarget& mail = startTarget("Thunderbird");
    const XId ours = startOwnWindow();

    // The changes are seen as they happen (the answer is only asked for at the end).
    ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(editor.window())}));
    ASSERT_TRUE(waitUntilActive(editor.window()));
    settle();
    activate(ours);
    EXPECT_EQ(tracker.globalFocusWindow(), handle(editor.window()));

    activate(mail.window());
    activate(ours);
    EXPECT_EQ(tracker.globalFocusWindow(), handle(mail.window()));
    EXPECT_EQ(tracker.globalFocusWindow(), handle(mail.window()));

    tracker.uninitialize();
    EXPECT_EQ(tracker.globalFocusWindow(), kNoWindow);
}

TEST_F(X11Focus, OurDesktopDockTaskbarAndVanishedWindowsNeverCount) {
    PasteTarget& editor = startTarget("Gedit");
    PasteTarget& desktop = startTarget("Desktop", "desktop");
    PasteTarget& dock = startTarget("Panel", "dock");
    PasteTarget& taskbar = startTarget("Taskbar");
    PasteTarget& vanishing = startTarget("Vanishing");
    const XId ours = startOwnWindow();
    const XId gone = vanishing.window();
    vanishing.process().stop();
    ASSERT_TRUE(runUntil([&] { return !windowExists(connection(), gone); }));

    FocusTracker tracker(connection());
    tracker.initialize(handle(taskbar.window()), kNoWindow);
    const struct {
        const char* what;
        XId window;
        bool counts;
    } cases[] = {
        {"another program's window", editor.window(), true},
        {"a desktop window", desktop.window(), false},
        {"a dock window", dock.window(), false},
        {"the taskbar", taskbar.window(), false},
        {"a window of this process", ours, false},
        {"a window of our connection", connection().createWindow(), false},
        {"an in-process window", kVirtualWindowBit | 0x42, false},
        {"a window that is gone", gone, false},
        {"the root", DefaultRootWindow(display()), false},
        {"no window", None, false},
    };
    for (const auto& c : cases) EXPECT_EQ(tracker.counts(c.window), c.counts) << c.what;

    // Turning to the ones a manager lets become active leaves the answer alone.
    activate(editor.window());
    for (const XId w : {desktop.window(), taskbar.window(), ours}) {
        activate(w);
        EXPECT_EQ(tracker.globalFocusWindow(), handle(editor.window())) << w;
    }
}

TEST_F(X11Focus, StartsWithTheGivenWindowWhenItCounts) {
    PasteTarget& other = startTarget("Mousepad");
    PasteTarget& editor = startTarget("Gedit");
    const XId ours = startOwnWindow();
    activate(editor.window());

    const struct {
        const char* what;
        XId taskbar, focus, expected;
    } cases[] = {
        {"another program's window", None, other.window(), other.window()},
        {"the frame around it", None, frameOf(display(), other.window()), other.window()},
        {"our window: the active one instead", None, ours, editor.window()},
        {"an in-process window", None, kVirtualWindowBit | 7, editor.window()},
        {"nothing", None, None, editor.window()},
        {"the active one is the taskbar", editor.window(), ours, None},
    };
    for (const auto& c : cases) {
        FocusTracker tracker(connection());
        tracker.initialize(handle(c.taskbar), handle(c.focus));
        EXPECT_EQ(tracker.globalFocusWindow(), handle(c.expected)) << c.what;
    }
}

TEST_F(X11Focus, WindowQueriesSeeThroughTheFrameAndSurviveVanishedWindows) {
    PasteTarget& editor = startTarget("Gedit");
    const XId client = editor.window();
    const XId frame = frameOf(display(), client);
    ASSERT_NE(frame, client) << "openbox reparents its clients";
    EXPECT_EQ(topLevelWindow(connection(), frame), client);
    EXPECT_EQ(topLevelWindow(connection(), client), client);
    EXPECT_EQ(windowClass(connection(), client), "Gedit");
    EXPECT_TRUE(windowExists(connection(), client));
    EXPECT_NE(windowManagerCheck(connection()), None);
    EXPECT_TRUE(followsActiveWindowProperty(connection()));

    editor.process().stop();
    ASSERT_TRUE(runUntil([&] { return !windowExists(connection(), client); }));
    const uint64_t errors = connection().errorCount();
    EXPECT_EQ(windowClass(connection(), client), "");
    EXPECT_EQ(topLevelWindow(connection(), client), None);
    EXPECT_FALSE(activateWindow(connection(), client));
    EXPECT_GT(connection().errorCount(), errors);
    EXPECT_FALSE(connection().lost());
}

TEST_F(X11Focus, ActivateWindowBringsTheWindowForwardWithTheFocus) {
    PasteTarget& editor = startTarget("Gedit");
    PasteTarget& mail = startTarget("Thunderbird");
    for (const XId w : {editor.window(), mail.window(), editor.window()}) {
        ASSERT_TRUE(activateWindow(connection(), w));
        EXPECT_EQ(activeWindow(connection()), w);
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display(), &focus, &revert);
        EXPECT_EQ(topLevelWindow(connection(), focus), w) << "keys go to it";
    }
    // Asking through the frame does the same.
    ASSERT_TRUE(activateWindow(connection(), frameOf(display(), mail.window())));
    EXPECT_EQ(activeWindow(connection()), mail.window());
}

TEST_F(X11Focus, FollowsTheInputFocusOnceTheManagerHasEnded) {
    PasteTarget& editor = startTarget("Gedit");
    PasteTarget& mail = startTarget("Thunderbird");
    const XId ours = startOwnWindow();
    FocusTracker tracker(connection());
    tracker.initialize(kNoWindow, kNoWindow);
    activate(editor.window());

    stopWindowManager();  // returns once openbox has exited
    settle();
    ASSERT_EQ(windowManagerCheck(connection()), None);
    // openbox leaves the focus where it likes on its way out; turn to the other one.
    const XId next = tracker.globalFocusWindow() == handle(mail.window()) ? editor.window() : mail.window();
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", std::to_string(next)}));
    runFor(FocusTracker::kFocusPollPeriod * 2 + 100ms);
    ASSERT_TRUE(activateWindow(connection(), ours));
    EXPECT_EQ(tracker.globalFocusWindow(), handle(next));
}

class X11FocusWithoutManager : public x11test::DesktopFixture {
protected:
    void SetUp() override { startDesktop(false, {"xdotool"}); }
};

TEST_F(X11FocusWithoutManager, FollowsTheInputFocus) {
    PasteTarget& editor = startTarget("Gedit");
    PasteTarget& mail = startTarget("Thunderbird");
    const XId ours = startOwnWindow();
    EXPECT_FALSE(followsActiveWindowProperty(connection()));
    FocusTracker tracker(connection());
    tracker.initialize(kNoWindow, kNoWindow);

    // Without a manager nothing announces a focus change: the tracker has to have looked while
    // the other program had the focus.
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", std::to_string(editor.window())}));
    runFor(FocusTracker::kFocusPollPeriod * 2 + 100ms);
    ASSERT_TRUE(activateWindow(connection(), ours));
    EXPECT_EQ(tracker.globalFocusWindow(), handle(editor.window()));

    ASSERT_TRUE(activateWindow(connection(), mail.window()));
    EXPECT_EQ(activeWindow(connection()), mail.window());
    runFor(FocusTracker::kFocusPollPeriod * 2 + 100ms);
    ASSERT_TRUE(activateWindow(connection(), ours));
    EXPECT_EQ(tracker.globalFocusWindow(), handle(mail.window()));
}

TEST_F(X11FocusWithoutManager, FocusThatFollowsThePointerNamesTheWindowUnderIt) {
    PasteTarget& editor = startTarget("Gedit");
    PasteTarget& mail = startTarget("Thunderbird");
    ASSERT_TRUE(xdotool({"windowmove", "--sync", std::to_string(mail.window()), "320", "240"}));
    XSetInputFocus(display(), PointerRoot, RevertToPointerRoot, CurrentTime);
    for (const XId w : {editor.window(), mail.window()}) {
        ASSERT_TRUE(xdotool({"mousemove", "--sync", "--window", std::to_string(w), "10", "10"}));
        EXPECT_EQ(activeWindow(connection()), w);
    }
}

TEST_F(X11FocusWithoutManager, TopLevelWindowIsTheClientWithWmStateOrTheRootsChild) {
    Display* d = display();
    const Window top = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
    const Window middle = XCreateSimpleWindow(d, top, 0, 0, 50, 50, 0, 0, 0);
    const Window inner = XCreateSimpleWindow(d, middle, 0, 0, 10, 10, 0, 0, 0);
    const Window gone = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(d, gone);
    XSync(d, False);

    const struct {
        XId window, plain, framed;  // answers without, and with, WM_STATE on `middle`
    } cases[] = {
        {inner, top, middle},
        {middle, top, middle},
        {top, top, middle},  // a frame itself: its client
        {DefaultRootWindow(d), None, None},
        {None, None, None},
        {gone, None, None},
    };
    for (const auto& c : cases) EXPECT_EQ(topLevelWindow(connection(), c.window), c.plain) << c.window;

    // As a reparenting manager would: the client inside the frame carries WM_STATE.
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    const long state[2] = {NormalState, None};
    XChangeProperty(d, middle, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(state),
                    2);
    XSync(d, False);
    for (const auto& c : cases) EXPECT_EQ(topLevelWindow(connection(), c.window), c.framed) << c.window;
}

}  // namespace
