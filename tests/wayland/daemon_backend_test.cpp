// Which desktop `quillet daemon` runs on in a Wayland session: the compositor's clipboard when
// it offers data control, X11 when asked for with --backend x11; the choice and its reason are
// printed at start. Against a headless Sway of the test's own; skipped where it cannot start.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/wayland/wayland_test_support.h"

namespace {

using namespace std::chrono_literals;
using waylandtest::ChildProcess;
using waylandtest::readFile;

constexpr auto kLimit = 20s;

bool waitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class DaemonOnWayland : public ::testing::Test {
protected:
    void SetUp() override {
        if (waylandtest::findProgram("wl-copy").empty()) GTEST_SKIP() << "wl-clipboard is not installed";
        std::string error;
        sway_ = waylandtest::Sway::start(&error);
        if (!sway_) GTEST_SKIP() << "the compositor cannot start here: " << error;
        data_ = sway_->filesDir() + "/data";
        std::filesystem::create_directories(data_);
    }

    void TearDown() override {
        programs_.clear();
        if (daemon_) daemon_->stop();
    }

    // A Wayland session without X: no DISPLAY.
    ChildProcess::Options session(const std::string& stdoutPath) const {
        ChildProcess::Options options;
        options.environment = sway_->environment();
        options.environment.push_back("DISPLAY=");
        options.stdoutPath = stdoutPath;
        options.stderrPath = stdoutPath + ".err";
        return options;
    }

    std::unique_ptr<ChildProcess> startDaemon(const std::vector<std::string>& words) {
        std::vector<std::string> argv = {QUILLET_BINARY, "--data-dir", data_, "daemon"};
        argv.insert(argv.end(), words.begin(), words.end());
        std::string error;
        auto daemon = ChildProcess::spawn(argv, session(daemonOut()), &error);
        EXPECT_TRUE(daemon) << error;
        return daemon;
    }
    std::string daemonOut() const { return sway_->filesDir() + "/daemon.out"; }
    std::string daemonErr() const { return daemonOut() + ".err"; }

    // The command's standard output once it has ended.
    std::string quillet(const std::vector<std::string>& words) {
        std::vector<std::string> argv = {QUILLET_BINARY, "--data-dir", data_};
        argv.insert(argv.end(), words.begin(), words.end());
        const std::string out = sway_->filesDir() + "/command" + std::to_string(++commands_) + ".out";
        auto p = ChildProcess::spawn(argv, session(out));
        if (!p || !waitFor([&] { return p->exited(); })) return {};
        return readFile(out);
    }

    std::unique_ptr<waylandtest::Sway> sway_;
    std::string data_;
    std::unique_ptr<ChildProcess> daemon_;
    std::vector<std::unique_ptr<ChildProcess>> programs_;
    int commands_ = 0;
};

TEST_F(DaemonOnWayland, PicksTheCompositorsClipboardAndSaysWhy) {
    daemon_ = startDaemon({});
    ASSERT_TRUE(daemon_);
    ASSERT_TRUE(waitFor([&] { return readFile(daemonOut()).find("recording") != std::string::npos; }))
        << readFile(daemonOut()) << readFile(daemonErr());
    EXPECT_NE(readFile(daemonOut()).find("quillet daemon: on Wayland (" + sway_->socket() +
                                         "): a Wayland session whose compositor offers zwlr_data_control_manager_v1."),
              std::string::npos)
        << readFile(daemonOut());

    const std::string input = sway_->filesDir() + "/copied";
    waylandtest::writeFile(input, "copied on Wayland");
    ChildProcess::Options options = session(sway_->filesDir() + "/wl-copy.out");
    options.stdinPath = input;
    programs_.push_back(ChildProcess::spawn({"wl-copy", "--foreground"}, options));
    ASSERT_TRUE(programs_.back());
    EXPECT_TRUE(waitFor([&] { return quillet({"records", "0"}).find("copied on Wayland") != std::string::npos; }))
        << quillet({"records", "0"}) << readFile(daemonErr());
}

TEST_F(DaemonOnWayland, BackendX11IsTakenEvenWhereWaylandWouldDo) {
    daemon_ = startDaemon({"--backend", "x11"});
    ASSERT_TRUE(daemon_);
    // No X display in this session: the forced choice is said, and then why it cannot run.
    ASSERT_TRUE(waitFor([&] { return daemon_->exited(); }));
    EXPECT_EQ(daemon_->exitCode(), 1);
    EXPECT_NE(readFile(daemonOut()).find("quillet daemon: on X11 (DISPLAY is not set): asked for with --backend x11."), std::string::npos)
        << readFile(daemonOut());
    EXPECT_NE(readFile(daemonErr()).find("The desktop cannot be used"), std::string::npos) << readFile(daemonErr());
}

TEST_F(DaemonOnWayland, AnUnknownBackendIsAUsageError) {
    daemon_ = startDaemon({"--backend", "mir"});
    ASSERT_TRUE(daemon_);
    ASSERT_TRUE(waitFor([&] { return daemon_->exited(); }));
    EXPECT_EQ(daemon_->exitCode(), 2);
    EXPECT_NE(readFile(daemonErr()).find("--backend x11 or --backend wayland"), std::string::npos)
        << readFile(daemonErr());
}

}  // namespace
