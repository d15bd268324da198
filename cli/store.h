#pragma once

#include <filesystem>

class AppConfig;

namespace cb {
class History;
}

namespace cli {

// Where a command finds the history and the configuration, and where it reports a change:
// the data folder's files for a command run on its own, the live objects when a running daemon
// executes the command. A command that changed one of them calls its save before it ends, so
// the owner can react (write the file, start or stop receiving).
class Store {
public:
    virtual ~Store() = default;

    // The data folder the history and configuration belong to.
    virtual const std::filesystem::path& folder() const = 0;
    virtual AppConfig& config() = 0;
    virtual cb::History& history() = 0;

    // False when the change could not be kept (the file could not be written).
    virtual bool saveHistory() = 0;
    virtual bool saveConfig() = 0;
};

}  // namespace cli
