#include "platform/exit_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace platform {

namespace {

// More than any content we serve: a record's targets, each read with a cap far below this.
constexpr uint64_t kMaxContentBytes = uint64_t{4} << 30;
constexpr uint32_t kMaxTargets = 4096;
constexpr uint32_t kMaxTargetNameBytes = 1024;

void putLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool takeLe(std::string_view& in, int bytes, uint64_t& value) {
    if (in.size() < static_cast<size_t>(bytes)) return false;
    value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{static_cast<unsigned char>(in[i])} << (8 * i);
    in.remove_prefix(static_cast<size_t>(bytes));
    return true;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> readAll(int fd) {
    std::string out;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return out;
        if (out.size() + static_cast<size_t>(n) > kMaxContentBytes) return std::nullopt;
        out.append(buffer, static_cast<size_t>(n));
    }
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::vector<std::string> defaultExitServerCommand() { return {"/proc/self/exe", std::string(kExitServerWord)}; }

std::string encodeServedContent(const std::vector<TargetData>& targets) {
    std::string out;
    putLe(out, targets.size(), 4);
    for (const TargetData& t : targets) {
        putLe(out, t.target.size(), 4);
        out += t.target;
        putLe(out, t.bytes.size(), 8);
        out += t.bytes;
    }
    return out;
}

std::optional<std::vector<TargetData>> decodeServedContent(std::string_view bytes) {
    uint64_t count = 0;
    if (!takeLe(bytes, 4, count) || count > kMaxTargets) return std::nullopt;
    std::vector<TargetData> targets;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t nameBytes = 0, dataBytes = 0;
        if (!takeLe(bytes, 4, nameBytes) || nameBytes > kMaxTargetNameBytes || nameBytes > bytes.size())
            return std::nullopt;
        TargetData t;
        t.target.assign(bytes.substr(0, nameBytes));
        bytes.remove_prefix(nameBytes);
        if (!takeLe(bytes, 8, dataBytes) || dataBytes > bytes.size()) return std::nullopt;
        t.bytes.assign(bytes.substr(0, dataBytes));
        bytes.remove_prefix(dataBytes);
        targets.push_back(std::move(t));
    }
    if (!bytes.empty()) return std::nullopt;
    return targets;
}

pid_t startExitServer(const std::vector<std::string>& command, const std::vector<std::string>& extraWords,
                      const std::vector<TargetData>& targets) {
    if (command.empty()) return -1;
    // In memory and seekable: the new process reads it at its own pace, and we never block on
    // a pipe it has not started reading.
    const FileDescriptor content(::memfd_create("quillet-clipboard", MFD_CLOEXEC));
    if (content.get() < 0) return -1;
    if (!writeAll(content.get(), encodeServedContent(targets)) || ::lseek(content.get(), 0, SEEK_SET) != 0) return -1;

    std::vector<std::string> words = command;
    // Named as the program it is ("/proc/self/exe" is what runs, whatever replaced the file
    // since), so that it is recognised in a list of processes.
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::canonical(command.front(), ec);
    if (!ec) words.front() = program.string();
    words.insert(words.end(), extraWords.begin(), extraWords.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&files) != 0) return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&files);
        return -1;
    }
    // Standard input is the content, the outputs go nowhere, and nothing else of ours stays
    // open: not our display connection, not the data folder's lock, not the pipes of whoever
    // started us.
    posix_spawn_file_actions_adddup2(&files, content.get(), 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    // A session of its own, so the terminal we were started from closing does not end it; the
    // signals we ignore or block (a broken pipe, say) are its again.
    sigset_t none, reset;
    sigemptyset(&none);
    sigemptyset(&reset);
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&reset, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &reset);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int failed = posix_spawn(&pid, command.front().c_str(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    return failed == 0 ? pid : -1;
}

bool awaitExitServer(pid_t server, std::chrono::milliseconds limit, const std::function<bool()>& served,
                     const std::function<void(int ms)>& pump) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool ended = false;
    while (served() && std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(server, nullptr, WNOHANG) == server) {
            ended = true;
            break;
        }
        pump(20);
    }
    if (!served()) return true;
    if (!ended) {
        ::kill(server, SIGKILL);
        ::waitpid(server, nullptr, 0);
    }
    return false;
}

std::optional<std::vector<TargetData>> takeServedContent(int fd) {
    // It outlives the session it was started in; only another program's copy (or a kill)
    // ends it.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    if (::chdir("/") != 0) return std::nullopt;
    const std::optional<std::string> bytes = readAll(fd);
    if (!bytes) return std::nullopt;
    std::optional<std::vector<TargetData>> targets = decodeServedContent(*bytes);
    if (!targets || targets->empty()) return std::nullopt;
    return targets;
}

}  // namespace platform
