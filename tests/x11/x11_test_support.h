#pragma once

// What the X11 tests need around them: a private X server (Xvfb) on a display nobody else uses,
// other programs (xclip) started and stopped by their process id, and a raw MULTIPLE request.
// Every wait is bounded; nothing here hangs when a program misbehaves.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace x11test {

// The full path of a program on PATH; empty when it is not installed.
std::string findProgram(std::string_view name);

// A fresh directory, removed with what it holds.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Writes a file in the directory and returns its path.
    std::string write(std::string_view name, std::string_view bytes) const;
    static std::string read(const std::string& path);

private:
    std::string path_;
};

// A child process with DISPLAY set; stdin and stdout from and to files when given, stderr
// discarded. Stopped (SIGTERM, then SIGKILL) and reaped when destroyed.
class ChildProcess {
public:
    static std::unique_ptr<ChildProcess> spawn(const std::vector<std::string>& argv, const std::string& display,
                                               const std::string& stdinPath = {}, const std::string& stdoutPath = {},
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
    friend class Xvfb;
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    pid_t pid_;
    bool reaped_ = false;
    int exitCode_ = -1;
};

// An X server of our own. start() picks a free display number itself (-displayfd).
class Xvfb {
public:
    static std::unique_ptr<Xvfb> start(std::string* error);
    ~Xvfb();
    const std::string& display() const { return display_; }
    // Ends the server at once, as a crash would.
    void kill();

private:
    Xvfb() = default;
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

// Runs a program to its end (xdotool, say); its exit code, or -1 when it could not start, ended
// by a signal, or had not ended after `limit` (it is stopped then).
int runProgram(const std::vector<std::string>& argv, const std::string& display,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// openbox on the display, returned once it manages the screen (its EWMH check window is up);
// null, with the reason, when it cannot be started or does not get that far.
std::unique_ptr<ChildProcess> startWindowManager(const std::string& display, std::string* error);

// Our paste_target program (tests/x11/paste_target.cpp) showing a window of the class, with its
// key log and pasted output in `dir`. start() returns once the window is mapped.
class PasteTarget {
public:
    static std::unique_ptr<PasteTarget> start(const std::string& program, const std::string& display,
                                              const std::string& dir, const std::string& wmClass,
                                              const std::string& windowType = "normal",
                                              std::string* error = nullptr,
                                              const std::vector<std::string>& extraArguments = {});
    unsigned long window() const { return window_; }
    ChildProcess& process() { return *process_; }
    // The key log, one entry a line, and what was pasted, both as they are now.
    std::vector<std::string> keyLog() const;
    std::string pasted() const;

private:
    PasteTarget() = default;
    std::unique_ptr<ChildProcess> process_;
    unsigned long window_ = 0;
    std::string keysPath_, pastedPath_;
};

// Asks the CLIPBOARD owner for `targets` in one MULTIPLE request, from a connection of its own
// to `display`, calling pump() while it waits (so that an owner in this process can answer).
// The bytes of each target, nothing for those the owner refused; nothing at all when the whole
// request failed or did not finish within `limit`.
std::optional<std::vector<std::optional<std::string>>> requestMultiple(const std::string& display,
                                                                      const std::vector<std::string>& targets,
                                                                      const std::function<void()>& pump,
                                                                      std::chrono::milliseconds limit);

}  // namespace x11test
