#include "tests/wayland/wayland_test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace waylandtest {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Debian's "nobody": Sway will not run as root.
constexpr uid_t kUnprivileged = 65534;

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

bool redirect(int target, const std::string& path, int flags) {
    const int fd = ::open(path.empty() ? "/dev/null" : path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = dup2(fd, target) >= 0;
    close(fd);
    return ok;
}

}  // namespace

std::string findProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::stringstream in(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(in, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + std::string(name);
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv, const Options& options,
                                                  std::string* error) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        bool replaced = false;
        for (const std::string& mine : options.environment)
            if (entry.substr(0, entry.find('=') + 1) == std::string_view(mine).substr(0, mine.find('=') + 1))
                replaced = true;
        // Clients talk to our compositor only, never to an X server.
        if (!replaced && !entry.starts_with("DISPLAY=")) env.emplace_back(entry);
    }
    for (const std::string& mine : options.environment) env.push_back(mine);
    std::vector<std::string> args = argv;
    auto argp = pointers(args);
    auto envp = pointers(env);

    const pid_t pid = fork();
    if (pid < 0) {
        if (error) *error = std::string("cannot fork: ") + std::strerror(errno);
        return nullptr;
    }
    if (pid == 0) {
        setpgid(0, 0);
        if (!redirect(0, options.stdinPath, O_RDONLY) ||
            !redirect(1, options.stdoutPath, O_WRONLY | O_CREAT | O_TRUNC) ||
            !redirect(2, options.stderrPath, O_WRONLY | O_CREAT | O_TRUNC))
            _exit(126);
        if (options.runAs != 0 &&
            (setgroups(0, nullptr) != 0 || setgid(options.runAs) != 0 || setuid(options.runAs) != 0))
            _exit(126);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
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
    const auto deadline = Clock::now() + 2s;
    while (!exited() && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    if (exited()) return;
    ::kill(pid_, SIGKILL);
    while (!exited()) std::this_thread::sleep_for(5ms);
}

std::unique_ptr<Sway> Sway::start(std::string* error) {
    const std::string sway = findProgram("sway");
    if (sway.empty()) {
        if (error) *error = "sway is not installed";
        return nullptr;
    }
    std::unique_ptr<Sway> s(new Sway);
    s->user_ = geteuid() == 0 ? kUnprivileged : 0;
    char runtime[] = "/tmp/quillet-sway-XXXXXX";
    char files[] = "/tmp/quillet-files-XXXXXX";
    if (mkdtemp(runtime) == nullptr || mkdtemp(files) == nullptr) {
        if (error) *error = "cannot make a runtime directory";
        return nullptr;
    }
    s->runtimeDir_ = runtime;
    s->filesDir_ = files;
    chmod(files, 0755);
    const std::string config = s->filesDir_ + "/sway.config";
    writeFile(config, "");
    chmod(config.c_str(), 0644);
    if (s->user_ != 0 && chown(runtime, s->user_, s->user_) != 0) {
        if (error) *error = "cannot give the runtime directory to the unprivileged user";
        return nullptr;
    }
    const std::string log = s->filesDir_ + "/sway.log";
    ChildProcess::Options options;
    options.environment = {"XDG_RUNTIME_DIR=" + s->runtimeDir_, "HOME=" + s->runtimeDir_, "WLR_BACKENDS=headless",
                           "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "WAYLAND_DISPLAY="};
    options.stdoutPath = log;
    options.stderrPath = log;
    options.runAs = s->user_;
    s->process_ = ChildProcess::spawn({sway, "-c", config}, options, error);
    if (!s->process_) return nullptr;

    // Up once a client can connect to the socket it made.
    const auto deadline = Clock::now() + 15s;
    while (Clock::now() < deadline && !s->process_->exited()) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(s->runtimeDir_, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("wayland-") && !name.ends_with(".lock") && entry.is_socket(ec)) {
                if (wl_display* d = wl_display_connect(entry.path().c_str())) {
                    wl_display_disconnect(d);
                    s->socket_ = entry.path().string();
                    return s;
                }
            }
        }
        std::this_thread::sleep_for(20ms);
    }
    if (error) {
        std::string text = readFile(log);
        if (text.size() > 600) text = text.substr(text.size() - 600);
        *error = "sway did not start: " + text;
    }
    return nullptr;
}

Sway::~Sway() {
    if (process_) process_->stop();
    std::error_code ec;
    if (!runtimeDir_.empty()) std::filesystem::remove_all(runtimeDir_, ec);
    if (!filesDir_.empty()) std::filesystem::remove_all(filesDir_, ec);
}

std::vector<std::string> Sway::environment() const {
    return {"WAYLAND_DISPLAY=" + socket_, "XDG_RUNTIME_DIR=" + runtimeDir_};
}

}  // namespace waylandtest
