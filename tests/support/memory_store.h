#pragma once

// A store that keeps the history and configuration in memory, as a running daemon does, and
// counts what the commands report as changed.

#include <filesystem>

#include "cli/store.h"
#include "model/history.h"
#include "persist/config/app_config.h"

namespace testsupport {

class MemoryStore : public cli::Store {
public:
    explicit MemoryStore(std::filesystem::path folder = "/nowhere/data") : folder_(std::move(folder)) {
        history_.resetToDefault();
    }

    const std::filesystem::path& folder() const override { return folder_; }
    AppConfig& config() override { return config_; }
    cb::History& history() override { return history_; }
    bool saveHistory() override {
        ++historySaves;
        return true;
    }
    bool saveConfig() override {
        ++configSaves;
        return true;
    }

    int historySaves = 0;
    int configSaves = 0;

private:
    std::filesystem::path folder_;
    AppConfig config_;
    cb::History history_;
};

}  // namespace testsupport
