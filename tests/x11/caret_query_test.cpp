// The caret of another program's focused text, asked of the accessibility bus: a Qt line edit
// (caret_target) on Xvfb with openbox, on a session bus of the test's own where the bus of the
// accessibility tools is started on demand. Skipped where Xvfb, openbox, dbus-daemon or the
// accessibility bus is not installed.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "platform/atspi/caret_query.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
using platform::CaretReport;
using platform::atspi::CaretQuery;

std::string firstLine(const std::string& path, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream in(path);
        std::string line;
        if (std::getline(in, line) && in.good()) return line;
        std::this_thread::sleep_for(20ms);
    }
    return {};
}

std::optional<CaretReport> askAndWait(CaretQuery& query, platform::ProcessId pid) {
    auto answer = std::make_shared<std::promise<std::optional<CaretReport>>>();
    std::future<std::optional<CaretReport>> future = answer->get_future();
    query.ask(pid, [answer](std::optional<CaretReport> r) { answer->set_value(r); });
    if (future.wait_for(5s) != std::future_status::ready) return std::nullopt;
    return future.get();
}

TEST(CaretQuery, FindsTheCaretOfTheFocusedTextOfThatProcessOnly) {
    for (const char* p : {"Xvfb", "openbox", "dbus-daemon"})
        if (x11test::findProgram(p).empty()) GTEST_SKIP() << p << " is not installed";
    if (access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0) GTEST_SKIP() << "at-spi2-core is not installed";
    std::string error;
    auto xvfb = x11test::Xvfb::start(&error);
    ASSERT_TRUE(xvfb) << error;
    auto wm = x11test::startWindowManager(xvfb->display(), &error);
    ASSERT_TRUE(wm) << error;
    x11test::TempDir dir;
    const std::string busAddress = dir.path() + "/bus";
    auto bus = x11test::ChildProcess::spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"},
                                            xvfb->display(), {}, busAddress, &error);
    ASSERT_TRUE(bus) << error;
    const std::string address = firstLine(busAddress, 5s);
    ASSERT_FALSE(address.empty());
    // For this process's query and for the program it starts.
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string geometryPath = dir.path() + "/geometry";
    auto target = x11test::ChildProcess::spawn({QUILLET_CARET_TARGET}, xvfb->display(), {}, geometryPath, &error);
    ASSERT_TRUE(target) << error;
    std::istringstream geometry(firstLine(geometryPath, 10s));
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(geometry >> x >> y >> w >> h);

    CaretQuery query;
    const auto pid = static_cast<platform::ProcessId>(target->pid());
    std::optional<CaretReport> report;
    // The program registers with the accessibility bus a little after it shows.
    for (int i = 0; i < 40 && !report; ++i) {
        report = askAndWait(query, pid);
        if (!report) std::this_thread::sleep_for(250ms);
    }
    ASSERT_TRUE(report);
    EXPECT_EQ(report->process, pid);
    // After "hello caret": right of the edit's left edge, within its box.
    EXPECT_GT(report->caret.left, x + 20);
    EXPECT_LT(report->caret.left, x + w);
    EXPECT_GE(report->caret.top, y);
    EXPECT_LE(report->caret.bottom, y + h);

    // Another process: no answer.
    EXPECT_FALSE(askAndWait(query, pid + 100000));
    target->stop();
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
