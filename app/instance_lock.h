#pragma once

// An flock() on a lock file, held for as long as this object lives: one resident program per
// display, one writer per data folder. The kernel drops the lock when the process ends, however
// it ends, so a crashed holder never blocks the next one.

#include <filesystem>
#include <memory>
#include <string>

namespace app {

class InstanceLock {
public:
    // The lock, or null when another holder has it. Throws std::system_error when the file
    // cannot be opened or created (mode 0600; a symbolic link is not followed).
    static std::unique_ptr<InstanceLock> acquire(const std::filesystem::path& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Replaces what the file says of its holder (at first, the process number and a newline).
    // False when it could not be written.
    bool describe(const std::string& text);
    // A child forked without exec shares the lock: it closes this descriptor so that the lock
    // ends with its parent.
    int descriptor() const { return fd_; }

private:
    InstanceLock(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::filesystem::path path_;
    int fd_;
};

}  // namespace app
