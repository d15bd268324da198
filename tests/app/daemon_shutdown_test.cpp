// The daemon in this process on a real X server: what its shutdown must end while the process
// itself goes on (a process's exit would close every socket anyway). Skipped where Xvfb or
// xclip is not installed.

#include <gtest/gtest.h>

#include <asio.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "app/asio_event_loop.h"
#include "app/resident_program.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "persist/files/config_file.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Reads what the peer sent until it closes the connection; false when it is still open after
// `limit`.
bool closedWithin(asio::ip::tcp::socket& socket, std::chrono::milliseconds limit) {
    socket.non_blocking(true);
    return waitFor(
        [&] {
            char buffer[256];
            std::error_code ec;
            socket.read_some(asio::buffer(buffer), ec);
            return ec && ec != asio::error::would_block && ec != asio::error::try_again;
        },
        limit);
}

TEST(DaemonShutdown, EndsTheAutomaticTransfersStillUnderWay) {
    if (x11test::findProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
    if (x11test::findProgram("xclip").empty()) GTEST_SKIP() << "xclip is not installed";
    std::string error;
    auto xvfb = x11test::Xvfb::start(&error);
    ASSERT_TRUE(xvfb) << error;
    x11test::TempDir dir;

    // A computer that takes the connection and then says nothing: the transfer waits on it.
    asio::io_context peerIo;
    asio::ip::tcp::acceptor silent(peerIo, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    silent.non_blocking(true);
    const fs::path data = fs::path(dir.path()) / "data";
    fs::create_directories(data);
    AppConfig config;
    config.setBool(kOptAutoSend, true);
    config.autoSendHosts().push_back(NetworkAddress("127.0.0.1", silent.local_endpoint().port()));
    ASSERT_TRUE(persist::saveAtExit(config, data));

    asio::io_context io;
    app::AsioEventLoop eventLoop(io);
    app::ResidentSettings settings;
    settings.dataFolder = data;
    settings.desktop.display = xvfb->display();
    settings.desktop.serveAfterExit = false;
    std::ostringstream log;
    auto daemon = std::make_unique<app::ResidentProgram>(eventLoop, settings, log);
    ASSERT_EQ(daemon->startUp(), app::ResidentProgram::StartOutcome::Started) << daemon->message();
    std::thread loop([&] { eventLoop.run(); });

    const std::string input = dir.write("in", "sent on its own");
    auto xclip = x11test::ChildProcess::spawn({"xclip", "-selection", "clipboard", "-i", "-quiet"}, xvfb->display(),
                                              input, {});
    ASSERT_TRUE(xclip);
    asio::ip::tcp::socket transfer(peerIo);
    const bool connected = waitFor(
        [&] {
            std::error_code ec;
            silent.accept(transfer, ec);
            return !ec;
        },
        15s);
    EXPECT_TRUE(connected) << log.str();
    if (connected) {
        EXPECT_FALSE(closedWithin(transfer, 300ms));
        asio::post(io, [&] {
            daemon->shutdown();
            io.stop();
        });
        // The transfer abandons at its next check, long before its own time-out.
        EXPECT_TRUE(closedWithin(transfer, 5s));
    } else {
        asio::post(io, [&] {
            daemon->shutdown();
            io.stop();
        });
    }
    loop.join();
    daemon.reset();
    xclip.reset();
}

}  // namespace
