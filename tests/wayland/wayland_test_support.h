#pragma once

// What the Wayland tests need around them: a headless Sway of their own (on a private runtime
// directory; as an unprivileged user when the tests run as root, since Sway refuses root), and
// other programs (wl-copy, wl-paste) started and stopped by their process id. Every wait is
// bounded; nothing here hangs when a program misbehaves.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace waylandtest {

// The full path of a program on PATH; empty when it is not installed.
std::string findProgram(std::string_view name);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);

// A child process; stdin and stdout from and to files when given, stderr to a file or
// discarded. Stopped (SIGTERM, then SIGKILL) and reaped when destroyed.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> environment;  // NAME=value entries added to ours
        std::string stdinPath, stdoutPath, stderrPath;
        uid_t runAs = 0;  // a user id to switch to (0: stay who we are)
    };
    static std::unique_ptr<ChildProcess> spawn(const std::vector<std::string>& argv, const Options& options,
                                               std::string* error = nullptr);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Whether it has ended; reaps it when it has.
    bool exited();
    // Its exit status once it has exited normally; -1 before, or after a signal.
    int exitCode() const { return exitCode_; }
    // SIGTERM, up to two seconds for it to end, then SIGKILL.
    void stop();

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    pid_t pid_;
    bool reaped_ = false;
    int exitCode_ = -1;
};

// A headless Sway on a runtime directory of its own, with the software renderer and no input
// devices. Clients reach it through environment() (WAYLAND_DISPLAY and XDG_RUNTIME_DIR).
class Sway {
public:
    // Null, with the reason (and the end of Sway's log), when it cannot be started.
    static std::unique_ptr<Sway> start(std::string* error);
    ~Sway();
    Sway(const Sway&) = delete;
    Sway& operator=(const Sway&) = delete;

    const std::string& runtimeDir() const { return runtimeDir_; }
    const std::string& socket() const { return socket_; }
    // WAYLAND_DISPLAY as the full path of the socket, and XDG_RUNTIME_DIR.
    std::vector<std::string> environment() const;
    // A directory for the tests' files (readable by every client).
    const std::string& filesDir() const { return filesDir_; }
    // The user the compositor and the clients that need it run as.
    uid_t user() const { return user_; }

private:
    Sway() = default;
    std::unique_ptr<ChildProcess> process_;
    std::string runtimeDir_, filesDir_, socket_;
    uid_t user_ = 0;
};

}  // namespace waylandtest
