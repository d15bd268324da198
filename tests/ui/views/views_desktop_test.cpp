// The views on a real X server: a record dragged out of the main window into another program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;

bool waitForFile(const std::string& path, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

TEST(ViewsDesktopTest, ARecordDraggedIntoAnotherProgramArrivesAsTextAndHtml) {
    if (x11test::findProgram("Xvfb").empty() || x11test::findProgram("xdotool").empty())
        GTEST_SKIP() << "Xvfb and xdotool are needed";
    std::string error;
    auto server = x11test::Xvfb::start(&error);
    ASSERT_TRUE(server) << error;
    x11test::TempDir dir;
    const std::string host = QUILLET_VIEWS_HOST;
    auto history = x11test::ChildProcess::spawn({host, "history", dir.path() + "/history.ready"},
                                                server->display(), {}, {}, &error);
    ASSERT_TRUE(history) << error;
    auto drop = x11test::ChildProcess::spawn(
        {host, "drop", dir.path() + "/dropped", dir.path() + "/drop.ready"}, server->display(), {},
        {}, &error);
    ASSERT_TRUE(drop) << error;
    ASSERT_TRUE(waitForFile(dir.path() + "/history.ready"));
    ASSERT_TRUE(waitForFile(dir.path() + "/drop.ready"));

    // Press on the first row (under the 20-pixel tab strip), move well past the drag distance,
    // over to the other program's window, and let go there.
    const std::string& display = server->display();
    ASSERT_EQ(x11test::runProgram({"xdotool", "mousemove", "60", "28"}, display), 0);
    ASSERT_EQ(x11test::runProgram({"xdotool", "mousedown", "1"}, display), 0);
    for (int x = 70; x <= 650; x += 20) {
        x11test::runProgram({"xdotool", "mousemove", std::to_string(x), "60"}, display);
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(x11test::runProgram({"xdotool", "mouseup", "1"}, display), 0);

    ASSERT_TRUE(waitForFile(dir.path() + "/dropped.text"));
    ASSERT_TRUE(waitForFile(dir.path() + "/dropped.html"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(x11test::TempDir::read(dir.path() + "/dropped.text"), "drag me");
    EXPECT_EQ(x11test::TempDir::read(dir.path() + "/dropped.html"),
              "<html><body><!--StartFragment--><b>drag</b> me<!--EndFragment--></body></html>");
}

}  // namespace

namespace {

// Reads the main window the way a screen reader does: through the accessibility bus of a
// private session bus.
TEST(ViewsDesktopTest, TheMainWindowsTabsAndRowsReachTheAccessibilityBus) {
    const char* launcher = "/usr/libexec/at-spi-bus-launcher";
    if (x11test::findProgram("Xvfb").empty() || x11test::findProgram("dbus-daemon").empty() ||
        !std::filesystem::exists(launcher) || !std::filesystem::exists("/usr/bin/python3"))
        GTEST_SKIP() << "Xvfb, dbus-daemon, at-spi2-core and python3 are needed";
    std::string error;
    auto server = x11test::Xvfb::start(&error);
    ASSERT_TRUE(server) << error;
    x11test::TempDir dir;

    auto bus = x11test::ChildProcess::spawn(
        {"dbus-daemon", "--session", "--nofork", "--print-address=1"}, server->display(), {},
        dir.path() + "/bus.address", &error);
    ASSERT_TRUE(bus) << error;
    std::string address;
    for (int i = 0; i < 100 && address.find('\n') == std::string::npos; ++i) {
        std::this_thread::sleep_for(50ms);
        address = x11test::TempDir::read(dir.path() + "/bus.address");
    }
    ASSERT_NE(address.find('\n'), std::string::npos);
    address.resize(address.find('\n'));
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    // Qt looks for the accessibility bus once, at start: it is there first.
    auto a11y = x11test::ChildProcess::spawn({launcher, "--launch-immediately"}, server->display(),
                                             {}, {}, &error);
    ASSERT_TRUE(a11y) << error;
    std::this_thread::sleep_for(500ms);

    auto history = x11test::ChildProcess::spawn(
        {QUILLET_VIEWS_HOST, "history", dir.path() + "/history.ready"}, server->display(), {}, {},
        &error);
    ASSERT_TRUE(history) << error;
    ASSERT_TRUE(waitForFile(dir.path() + "/history.ready"));

    auto reader = x11test::ChildProcess::spawn(
        {"/usr/bin/python3", QUILLET_ACCESSIBLE_TREE, "views_desktop_host", "15"},
        server->display(), {}, dir.path() + "/tree.txt", &error);
    ASSERT_TRUE(reader) << error;
    for (int i = 0; i < 400 && !reader->exited(); ++i) std::this_thread::sleep_for(50ms);
    const std::string tree = x11test::TempDir::read(dir.path() + "/tree.txt");
    EXPECT_EQ(reader->exitCode(), 0) << tree;
    for (const char* line : {"page tab\t[Main]", "page tab\tWork", "page tab\tSearch",
                             "list item\tdrag me", "list\tRecords"})
        EXPECT_NE(tree.find(line), std::string::npos) << line << " in\n" << tree;
    history.reset();
    a11y.reset();
    bus.reset();
}

}  // namespace
