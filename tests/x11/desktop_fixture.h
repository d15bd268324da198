#pragma once

// What the focus and key tests share: an X server of their own, openbox on it unless the test
// is about a desktop without a window manager, our connection on a poll loop, paste_target
// windows of other processes, and managed windows of this process.

// gtest before Xlib: Xlib's macros (None, Bool) would break gtest's own names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/window_queries.h"
#include "tests/x11/x11_test_support.h"

namespace x11test {

using namespace std::chrono_literals;

// No wait in these tests lasts longer than this; reaching it fails the test.
inline constexpr auto kLimit = 15s;

class DesktopFixture : public ::testing::Test {
protected:
    // Starts the server (and openbox); skips the test when a program it needs is missing.
    void startDesktop(bool withWindowManager, const std::vector<std::string>& programs = {}) {
        std::vector<std::string> needed{"Xvfb"};
        if (withWindowManager) needed.push_back("openbox");
        needed.insert(needed.end(), programs.begin(), programs.end());
        for (const std::string& p : needed)
            if (findProgram(p).empty()) GTEST_SKIP() << p << " is not installed";
        std::string error;
        xvfb_ = Xvfb::start(&error);
        ASSERT_TRUE(xvfb_) << error;
        if (withWindowManager) {
            wm_ = startWindowManager(xvfb_->display(), &error);
            ASSERT_TRUE(wm_) << error;
        }
        connection_ = platform::x11::Connection::open(loop_, xvfb_->display().c_str(), &error);
        ASSERT_TRUE(connection_) << error;
        loop_.watch(connection_->fd(), [this] { connection_->processPendingEvents(); });
    }

    void TearDown() override {
        if (keyboard_) XCloseDisplay(keyboard_);
        keyboard_ = nullptr;
        targets_.clear();
        programs_.clear();
        if (connection_) loop_.unwatch(connection_->fd());
        connection_.reset();
        wm_.reset();
        xvfb_.reset();
    }

    platform::x11::Connection& connection() { return *connection_; }
    Display* display() { return connection_->display(); }

    bool runUntil(const std::function<bool()>& done) { return loop_.runUntil(done, kLimit); }
    // Keeps the loop running for a while, whatever happens.
    void runFor(std::chrono::milliseconds time) {
        loop_.runUntil([] { return false; }, time);
    }
    // Every event the server sent us before now has been handled.
    void settle() {
        XSync(display(), False);
        connection_->processPendingEvents();
    }

    PasteTarget& startTarget(const std::string& wmClass, const std::string& type = "normal") {
        std::string error;
        auto t = PasteTarget::start(QUILLET_PASTE_TARGET, xvfb_->display(), dir_.path(), wmClass, type, &error);
        EXPECT_TRUE(t) << error;
        if (!t) throw std::runtime_error(error);
        targets_.push_back(std::move(t));
        if (wm_ && type == "normal") waitUntilNewWindowIsActive(targets_.back()->window());
        return *targets_.back();
    }

    // A mapped top-level window of this process, as a window of our user interface would be
    // (its _NET_WM_PID is ours, and the X server knows it as our client's).
    platform::x11::XId startOwnWindow() {
        Display* d = display();
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 50, 50, 200, 100, 0, 0, 0);
        XClassHint hint{const_cast<char*>("quillet"), const_cast<char*>("Quillet")};
        XSetClassHint(d, w, &hint);
        const long pid = ::getpid();
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        XMapWindow(d, w);
        XSync(d, False);
        if (wm_) waitUntilNewWindowIsActive(w);
        return w;
    }

    // openbox gives a new window the focus a little after it has shown it; a test that turned to
    // another window in between would see the focus taken away again.
    void waitUntilNewWindowIsActive(platform::x11::XId w) {
        EXPECT_TRUE(waitUntilActive(w)) << "openbox did not activate the new window " << w;
    }

    // xdotool with these arguments, to its end; true when it succeeded.
    bool xdotool(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, xvfb_->display()) == 0;
    }

    // Presses or releases the key with that symbol from a client of its own, as a keyboard
    // would: xdotool cannot, it presses the left-hand key too for a right-hand modifier.
    void fakeKey(const std::string& keysym, bool down) {
        if (!keyboard_) keyboard_ = XOpenDisplay(xvfb_->display().c_str());
        ASSERT_NE(keyboard_, nullptr);
        const KeyCode code = XKeysymToKeycode(keyboard_, XStringToKeysym(keysym.c_str()));
        ASSERT_NE(code, 0) << keysym;
        XTestFakeKeyEvent(keyboard_, code, down ? True : False, CurrentTime);
        XSync(keyboard_, False);
    }

    // A program that runs until the test ends (xclip owning a selection).
    ChildProcess& startProgram(const std::vector<std::string>& argv, const std::string& input = {}) {
        const std::string in = input.empty() ? std::string() : dir_.write("in" + std::to_string(programs_.size()), input);
        std::string error;
        auto p = ChildProcess::spawn(argv, xvfb_->display(), in, {}, &error);
        EXPECT_TRUE(p) << error;
        if (!p) throw std::runtime_error(error);
        programs_.push_back(std::move(p));
        return *programs_.back();
    }

    bool waitUntilActive(platform::x11::XId window) {
        return runUntil([&] { return platform::x11::activeWindow(connection()) == window; });
    }

    // Ends openbox (SIGTERM), as a user who quits it does.
    void stopWindowManager() { wm_.reset(); }

    TempDir dir_;
    platform::x11::PollLoop loop_;

private:
    std::unique_ptr<Xvfb> xvfb_;
    std::unique_ptr<ChildProcess> wm_;
    std::unique_ptr<platform::x11::Connection> connection_;
    Display* keyboard_ = nullptr;
    std::vector<std::unique_ptr<PasteTarget>> targets_;
    std::vector<std::unique_ptr<ChildProcess>> programs_;
};

}  // namespace x11test
