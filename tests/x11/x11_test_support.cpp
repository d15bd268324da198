#include "tests/x11/x11_test_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace x11test {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> environmentWith(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::string findProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::stringstream in(dirs);
    std::string dir;
    while (std::getline(in, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + std::string(name);
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillet-x11-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(std::string_view name, std::string_view bytes) const {
    const std::string p = path_ + "/" + std::string(name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

std::string TempDir::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv, const std::string& display,
                                                  const std::string& stdinPath, const std::string& stdoutPath,
                                                  std::string* error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = argv;
    std::vector<std::string> env = environmentWith(display);
    auto argp = pointers(args);
    auto envp = pointers(env);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (error) *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return nullptr;
    }
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::exited() {
    if (reaped_) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        reaped_ = true;
        if (r == pid_ && WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
    }
    return reaped_;
}

void ChildProcess::stop() {
    if (exited()) return;
    ::kill(pid_, SIGTERM);
    const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
    while (!exited() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (exited()) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);  // SIGKILL cannot be ignored: this returns
    reaped_ = true;
}

std::unique_ptr<Xvfb> Xvfb::start(std::string* error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        return nullptr;
    }
    // The server writes the display number it chose to this descriptor of its own.
    constexpr int kChildFd = 9;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int writeEnd = fds[1];
    if (writeEnd == kChildFd) {
        writeEnd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, kChildFd + 1);
        ::close(fds[1]);
    }
    posix_spawn_file_actions_adddup2(&actions, writeEnd, kChildFd);
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(kChildFd), "-screen", "0", "640x480x24",
                                     "-nolisten", "tcp", "-noreset"};
    std::vector<std::string> env = environmentWith({});
    auto argp = pointers(args);
    auto envp = pointers(env);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(writeEnd);
    if (rc != 0) {
        ::close(fds[0]);
        *error = std::string("cannot start Xvfb: ") + std::strerror(rc);
        return nullptr;
    }
    std::unique_ptr<Xvfb> server(new Xvfb);
    server->process_.reset(new ChildProcess(pid));

    std::string number;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < end && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            if (server->process_->exited()) break;
            continue;
        }
        char buffer[32];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    const size_t eol = number.find('\n');
    if (eol == std::string::npos || eol == 0) {
        *error = "Xvfb did not report its display";
        return nullptr;  // the destructor stops it
    }
    // Appended rather than ":" + substr(), which GCC 12 at -O2 warns of falsely (-Wrestrict).
    server->display_.assign(1, ':');
    server->display_.append(number, 0, eol);
    return server;
}

Xvfb::~Xvfb() {
    if (process_) process_->stop();
}

void Xvfb::kill() {
    if (!process_ || process_->exited()) return;
    ::kill(process_->pid(), SIGKILL);
    int status = 0;
    ::waitpid(process_->pid(), &status, 0);
    process_.reset();
    // A killed server leaves its lock and socket behind; later servers would skip the number.
    const std::string number = display_.substr(1);
    std::error_code ignored;
    std::filesystem::remove("/tmp/.X" + number + "-lock", ignored);
    std::filesystem::remove("/tmp/.X11-unix/X" + number, ignored);
}

int runProgram(const std::vector<std::string>& argv, const std::string& display, std::chrono::milliseconds limit) {
    auto p = ChildProcess::spawn(argv, display);
    if (!p) return -1;
    const Clock::time_point end = Clock::now() + limit;
    while (!p->exited() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!p->exited()) return -1;  // the destructor stops it
    return p->exitCode();
}

std::unique_ptr<ChildProcess> startWindowManager(const std::string& display, std::string* error) {
    auto wm = ChildProcess::spawn({"openbox", "--sm-disable"}, display, {}, {}, error);
    if (!wm) return nullptr;
    Display* d = XOpenDisplay(display.c_str());
    if (!d) {
        *error = "cannot open " + display;
        return nullptr;
    }
    // EWMH: the root names the check window, and the check window names itself.
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    auto checkWindow = [&](Window w) -> Window {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        Window result = None;
        if (XGetWindowProperty(d, w, check, 0, 1, False, XA_WINDOW, &type, &format, &items, &after, &data) ==
                Success &&
            data && type == XA_WINDOW && items == 1)
            result = *reinterpret_cast<const Window*>(data);
        if (data) XFree(data);
        return result;
    };
    // Errors are expected while the check window comes and goes; they must not end the test.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    bool up = false;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(15);
    while (!up && !wm->exited() && Clock::now() < end) {
        const Window w = checkWindow(DefaultRootWindow(d));
        up = w != None && checkWindow(w) == w;
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The check window is up before openbox manages windows, and it drops what is mapped in
    // between: wait until a window of ours has been made a client (WM_STATE), asking again for
    // the window to be shown until it is.
    if (up) {
        const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
        const Atom wmState = XInternAtom(d, "WM_STATE", False);
        bool managed = false;
        for (int round = 0; !managed && !wm->exited() && Clock::now() < end; ++round) {
            if (round % 10 == 0) XMapWindow(d, probe);
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, probe, wmState, 0, 2, False, wmState, &type, &format, &items, &after, &data) ==
                Success)
                managed = type == wmState;
            if (data) XFree(data);
            if (!managed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        XDestroyWindow(d, probe);
        up = managed;
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    XCloseDisplay(d);
    if (!up) {
        *error = wm->exited() ? "openbox ended at start" : "openbox did not take over the screen";
        return nullptr;
    }
    return wm;
}

std::unique_ptr<PasteTarget> PasteTarget::start(const std::string& program, const std::string& display,
                                                const std::string& dir, const std::string& wmClass,
                                                const std::string& windowType, std::string* error,
                                                const std::vector<std::string>& extraArguments) {
    static int started = 0;
    const std::string base = dir + "/target" + std::to_string(++started) + "-";
    std::unique_ptr<PasteTarget> t(new PasteTarget);
    t->keysPath_ = base + "keys";
    t->pastedPath_ = base + "pasted";
    const std::string idPath = base + "window";
    std::string ignored;
    std::vector<std::string> argv{program, "--class", wmClass, "--type", windowType, "--keys", t->keysPath_,
                                  "--pasted", t->pastedPath_};
    argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
    t->process_ = ChildProcess::spawn(argv, display, {}, idPath, error ? error : &ignored);
    if (!t->process_) return nullptr;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < end && !t->process_->exited()) {
        const std::string id = TempDir::read(idPath);
        if (id.find('\n') != std::string::npos) {
            t->window_ = std::stoul(id);
            return t;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (error) *error = "paste_target did not show its window";
    return nullptr;
}

std::vector<std::string> PasteTarget::keyLog() const {
    std::vector<std::string> lines;
    std::istringstream in(TempDir::read(keysPath_));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string PasteTarget::pasted() const { return TempDir::read(pastedPath_); }

std::optional<std::vector<std::optional<std::string>>> requestMultiple(const std::string& display,
                                                                      const std::vector<std::string>& targets,
                                                                      const std::function<void()>& pump,
                                                                      std::chrono::milliseconds limit) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return std::nullopt;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom multiple = XInternAtom(d, "MULTIPLE", False);
    const Atom atomPair = XInternAtom(d, "ATOM_PAIR", False);
    const Atom pairsProperty = XInternAtom(d, "TEST_MULTIPLE_PAIRS", False);
    std::vector<long> pairs;
    for (size_t i = 0; i < targets.size(); ++i) {
        pairs.push_back(static_cast<long>(XInternAtom(d, targets[i].c_str(), False)));
        pairs.push_back(static_cast<long>(XInternAtom(d, ("TEST_MULTIPLE_" + std::to_string(i)).c_str(), False)));
    }
    XChangeProperty(d, w, pairsProperty, atomPair, 32, PropModeReplace, reinterpret_cast<unsigned char*>(pairs.data()),
                    static_cast<int>(pairs.size()));
    XConvertSelection(d, clipboard, multiple, pairsProperty, w, CurrentTime);
    XFlush(d);

    std::optional<std::vector<std::optional<std::string>>> result;
    const Clock::time_point end = Clock::now() + limit;
    bool answered = false;
    Atom answerProperty = None;
    while (!answered && Clock::now() < end) {
        pump();
        while (XPending(d) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == SelectionNotify && e.xselection.requestor == w) {
                answered = true;
                answerProperty = e.xselection.property;
            }
        }
        if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (answered && answerProperty != None) {
        auto readProperty = [&](Atom property, std::string& out, Atom& type) {
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* value = nullptr;
            if (XGetWindowProperty(d, w, property, 0, 1 << 24, False, AnyPropertyType, &type, &format, &items, &after,
                                   &value) != Success)
                return false;
            if (value) {
                const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
                out.assign(reinterpret_cast<const char*>(value), items * unit);
                XFree(value);
            }
            return type != None;
        };
        std::string pairBytes;
        Atom type = None;
        if (readProperty(pairsProperty, pairBytes, type) && pairBytes.size() == pairs.size() * sizeof(long)) {
            std::vector<long> answeredPairs(pairs.size());
            std::memcpy(answeredPairs.data(), pairBytes.data(), pairBytes.size());
            std::vector<std::optional<std::string>> values;
            for (size_t i = 0; i < targets.size(); ++i) {
                const Atom property = static_cast<Atom>(answeredPairs[2 * i + 1]);
                std::string bytes;
                Atom valueType = None;
                if (property != None && readProperty(property, bytes, valueType)) values.emplace_back(std::move(bytes));
                else values.emplace_back(std::nullopt);
            }
            result = std::move(values);
        }
    }
    XDestroyWindow(d, w);
    XCloseDisplay(d);
    return result;
}

}  // namespace x11test
