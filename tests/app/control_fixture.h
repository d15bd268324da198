#pragma once

// A control server on its own io_context thread in a temporary runtime folder, answering with
// a store in memory, as a running daemon would; and raw socket helpers to play a bad client.

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <asio.hpp>
#include <cstring>
#include <future>
#include <thread>

#include "app/answer_request.h"
#include "app/control_server.h"
#include "app/instance_lock.h"
#include "cli/daemon_control.h"
#include "model/record_list.h"
#include "tests/support/memory_store.h"
#include "tests/support/temp_folder.h"

namespace testsupport {

class RecordingDaemon : public cli::DaemonControl {
public:
    void pause() override { calls += "pause;"; }
    void start() override { calls += "start;"; }
    bool copy(cb::RecordPtr record, const cb::RecordList*) override {
        calls += "copy " + record->textUtf8() + ";";
        return true;
    }
    bool paste(cb::RecordPtr record, const cb::RecordList*, bool) override {
        calls += "paste " + record->textUtf8() + ";";
        return true;
    }
    std::string calls;
};

class ControlServerTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        data = folder / "data";
        // Where the program looks with XDG_RUNTIME_DIR=folder and DISPLAY=:77.0.
        socket = folder / "quillet-77.sock";
        store = std::make_unique<MemoryStore>(data);
        lock = app::InstanceLock::acquire(folder / "quillet-77.lock");
        ASSERT_TRUE(lock);
        thread = std::thread([this] { io.run(); });
    }
    void TearDown() override {
        if (thread.joinable()) {
            onServer([this] { server.reset(); });
            work.reset();
            thread.join();
        }
        TempFolderTest::TearDown();
    }

    void startServer(app::ControlServerSettings settings = {}) {
        onServer([&] {
            server = std::make_unique<app::ControlServer>(
                io, *lock, socket,
                app::ControlServer::answering([this](const app::ControlRequest& request) {
                    requests.push_back(request);
                    return app::answerRequest(request, *store, &daemon);
                }),
                settings);
        });
    }

    // Runs on the server's thread and waits for it: the store and the requests are the
    // server's.
    template <class Call>
    auto onServer(Call call) -> decltype(call()) {
        std::packaged_task<decltype(call())()> task(std::move(call));
        auto result = task.get_future();
        asio::post(io, [&] { task(); });
        return result.get();
    }

    // A raw connection to the socket, or -1.
    int connectRaw() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // What arrives until the server closes the connection; nothing when it has not closed it
    // after `limit`.
    static std::optional<std::string> readToEnd(int fd,
                                                std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::string bytes;
        char buffer[4096];
        pollfd entry{fd, POLLIN, 0};
        while (::poll(&entry, 1, static_cast<int>(limit.count() * 1000)) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return bytes;  // closed (or reset, when it left our bytes unread)
            bytes.append(buffer, static_cast<size_t>(n));
        }
        return std::nullopt;
    }
    // A peer that has closed already takes nothing; that shows when the reply is read.
    static void sendRaw(int fd, const std::string& bytes) {
        [[maybe_unused]] const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Waits (up to 30 s) for the server to have noticed what the test did.
    template <class Condition>
    bool eventually(Condition condition) {
        for (int i = 0; i < 3000; ++i) {
            if (onServer(condition)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{io.get_executor()};
    std::thread thread;
    std::filesystem::path data;
    std::filesystem::path socket;
    std::unique_ptr<MemoryStore> store;
    RecordingDaemon daemon;
    std::unique_ptr<app::InstanceLock> lock;
    std::unique_ptr<app::ControlServer> server;
    std::vector<app::ControlRequest> requests;
};

}  // namespace testsupport
