#include "app/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace app {

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(),
                                "The lock file \"" + path.string() + "\" cannot be opened");
    int locked;
    do locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return nullptr;
        throw std::system_error(error, std::generic_category(),
                                "The lock file \"" + path.string() + "\" cannot be locked");
    }
    std::unique_ptr<InstanceLock> lock(new InstanceLock(path, fd));
    // The holder's process number, for whoever looks at the file.
    lock->describe(std::to_string(::getpid()) + "\n");
    return lock;
}

bool InstanceLock::describe(const std::string& text) {
    if (::ftruncate(fd_, 0) != 0) return false;
    return ::pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

InstanceLock::~InstanceLock() {
    // The file stays: removed, a process that had just opened it could lock the old file while
    // another one creates and locks a new file under the same name.
    ::close(fd_);
}

}  // namespace app
