#include "app/data_folder_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace app {

namespace {

// A lock file holds a number and a socket path; anything longer is not ours.
constexpr size_t kMaxLockFileBytes = 4096;

}  // namespace

std::unique_ptr<InstanceLock> lockDataFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return InstanceLock::acquire(folder / kDataFolderLockName);
}

bool announceResident(InstanceLock& lock, const std::filesystem::path& socket) {
    return lock.describe(std::to_string(::getpid()) + "\n" + socket.string() + "\n");
}

std::optional<FolderHolder> folderHolder(const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / kDataFolderLockName;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::string text(kMaxLockFileBytes + 1, '\0');
    const ssize_t n = ::read(fd, text.data(), text.size());
    ::close(fd);
    if (n <= 0 || static_cast<size_t>(n) > kMaxLockFileBytes) return std::nullopt;
    text.resize(static_cast<size_t>(n));

    const size_t firstEnd = text.find('\n');
    if (firstEnd == std::string::npos || firstEnd == 0 || firstEnd > 9) return std::nullopt;
    FolderHolder holder;
    for (size_t i = 0; i < firstEnd; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        holder.pid = holder.pid * 10 + (text[i] - '0');
    }
    const std::string rest = text.substr(firstEnd + 1);
    if (rest.empty()) return holder;
    if (rest.back() != '\n') return std::nullopt;  // still being written
    holder.socket = rest.substr(0, rest.size() - 1);
    if (!holder.socket.is_absolute()) return std::nullopt;
    return holder;
}

}  // namespace app
