// The connection inside whatever loop the program has: Xlib's process-wide error handlers handle
// our displays only (a toolkit's display keeps the handler it set), and events that Xlib queued
// during our own round trips are handled at the end of the loop's round, with the descriptor
// quiet. Skipped where Xvfb is not installed.

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "tests/x11/x11_test_support.h"

#include <X11/Xatom.h>  // last: their macros would reach the headers above
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;

int toolkitErrors = 0;
int toolkitHandler(Display*, XErrorEvent*) {
    ++toolkitErrors;
    return 0;
}

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (x11test::findProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
        std::string error;
        xvfb_ = x11test::Xvfb::start(&error);
        ASSERT_TRUE(xvfb_) << error;
    }
    std::unique_ptr<x11test::Xvfb> xvfb_;
};

TEST_F(ConnectionTest, ErrorsOfAnotherDisplayGoToTheHandlerThatStoodBefore) {
    XErrorHandler before = XSetErrorHandler(&toolkitHandler);  // a toolkit that came first
    toolkitErrors = 0;
    platform::x11::PollLoop loop;
    auto ours = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(ours);
    Display* theirs = XOpenDisplay(xvfb_->display().c_str());
    ASSERT_TRUE(theirs);
    const Window missing = 0x7ffffff0;  // no such window: BadWindow

    XMapWindow(theirs, missing);
    XSync(theirs, False);
    EXPECT_EQ(toolkitErrors, 1);

    XMapWindow(ours->display(), missing);
    XSync(ours->display(), False);
    EXPECT_EQ(toolkitErrors, 1);
    EXPECT_EQ(ours->errorCount(), 1u);

    XCloseDisplay(theirs);
    ours.reset();
    XSetErrorHandler(before);
}

TEST_F(ConnectionTest, EventsQueuedByOurOwnRoundTripsAreHandledAtTheEndOfTheRound) {
    platform::x11::PollLoop loop;
    auto c = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(c);
    const platform::x11::XId window = c->createWindow();
    int seen = 0;
    c->addEventHandler([&](const XEvent& event) {
        if (event.type == PropertyNotify && event.xproperty.window == window) ++seen;
    });
    // Settle: whatever the window's creation brought in is handled.
    loop.runUntil([] { return false; }, 200ms);
    const int settled = seen;

    // A property change, then a round trip that reads its event into Xlib's queue, all inside
    // one piece of the loop's work and without flushing; the descriptor has nothing more to say.
    loop.post([&] {
        XChangeProperty(c->display(), window, c->atom("QUILLET_TEST"), XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>("x"), 1);
        XSync(c->display(), False);
    });
    EXPECT_TRUE(loop.runUntil([&] { return seen > settled; }, 2s, 50ms));
}

TEST_F(ConnectionTest, AnEventThatArrivesWhileTheRoundEndSendsOurRequestsIsHandled) {
    platform::x11::PollLoop loop;
    auto c = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(c);
    const platform::x11::XId window = c->createWindow();
    const platform::x11::XAtom theirProperty = c->atom("QUILLET_THEIRS");
    const platform::x11::XAtom ourProperty = c->atom("QUILLET_OURS");
    int seen = 0;
    c->addEventHandler([&](const XEvent& event) {
        if (event.type == PropertyNotify && event.xproperty.atom == theirProperty) ++seen;
    });
    loop.runUntil([] { return false; }, 200ms);
    Display* theirs = XOpenDisplay(xvfb_->display().c_str());
    ASSERT_TRUE(theirs);

    // Another program's change is on its way to us while a request of ours waits in Xlib's
    // buffer. Sending the buffer at the round's end reads the event in too, and the descriptor
    // has nothing more to say: the event must be handled all the same.
    loop.post([&] {
        XChangeProperty(theirs, window, theirProperty, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>("x"), 1);
        XSync(theirs, False);
        pollfd arrived{c->fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&arrived, 1, 2000), 1);
        XChangeProperty(c->display(), window, ourProperty, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>("y"), 1);
    });
    // One round; after it a loop sleeps until the descriptor speaks again, which it may never do.
    loop.runOnce(0ms);
    EXPECT_EQ(seen, 1);
    XCloseDisplay(theirs);
}

}  // namespace
