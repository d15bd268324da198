#pragma once

#include <filesystem>

#include "cli/store.h"
#include "model/history.h"
#include "persist/config/app_config.h"
#include "persist/files/history_file.h"

namespace cli {

// The data folder's history and configuration as one command sees them: loaded on demand,
// saved atomically, and an unreadable file kept aside before it is first replaced.
class Session : public Store {
public:
    explicit Session(std::filesystem::path folder);

    const std::filesystem::path& folder() const override { return folder_; }
    AppConfig& config() override;
    cb::History& history() override;

    // How the history file was found when it was loaded.
    persist::StartFile historyState() const { return historyState_; }

    // False when the file could not be written.
    bool saveHistory() override;
    bool saveConfig() override;

private:
    std::filesystem::path folder_;
    AppConfig config_;
    cb::History history_;
    bool configLoaded_ = false;
    bool historyLoaded_ = false;
    persist::StartFile configState_ = persist::StartFile::Missing;
    persist::StartFile historyState_ = persist::StartFile::Missing;
};

}  // namespace cli
