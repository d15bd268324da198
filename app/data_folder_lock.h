#pragma once

// One writer per data folder. Whoever changes the history or the configuration files holds an
// flock() on "quillet.lock" in the folder: the resident program for as long as it runs, a
// command for its load-change-save. The file says who holds it: the process number, and for
// the resident program the path of its control socket, through which a command that finds the
// folder locked reaches it (from anywhere: another display, ssh, cron, a service).

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/instance_lock.h"

namespace app {

inline constexpr const char* kDataFolderLockName = "quillet.lock";

struct FolderHolder {
    pid_t pid = 0;
    std::filesystem::path socket;  // empty: a command, which lets go when it ends
};

// The folder's lock (the folder is created when missing), or null when another process holds
// it. Throws std::system_error when the lock file can be neither opened nor created.
std::unique_ptr<InstanceLock> lockDataFolder(const std::filesystem::path& folder);
// Makes the lock say that the resident program answering on `socket` holds it.
bool announceResident(InstanceLock& lock, const std::filesystem::path& socket);
// What the folder's lock file says of its holder; nothing when it cannot be read or makes no
// sense (a holder that is still writing it, or no holder at all).
std::optional<FolderHolder> folderHolder(const std::filesystem::path& folder);

}  // namespace app
