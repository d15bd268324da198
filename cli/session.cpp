#include "cli/session.h"

#include "persist/files/config_file.h"
#include "persist/files/data_folder.h"

namespace cli {

Session::Session(std::filesystem::path folder) : folder_(std::move(folder)) {}

AppConfig& Session::config() {
    if (!configLoaded_) {
        configState_ = persist::loadAtStart(config_, folder_);
        configLoaded_ = true;
    }
    return config_;
}

cb::History& Session::history() {
    if (!historyLoaded_) {
        persist::ensureFolder(folder_);
        historyState_ = persist::loadHistoryAtStart(history_, folder_ / persist::kHistoryFileName);
        historyLoaded_ = true;
    }
    return history_;
}

bool Session::saveHistory() {
    persist::SaveOptions options;
    options.keepExistingAsBad = historyState_ == persist::StartFile::Unreadable;
    if (!persist::saveHistory(history(), folder_ / persist::kHistoryFileName, options))
        return false;
    historyState_ = persist::StartFile::Loaded;
    return true;
}

bool Session::saveConfig() {
    persist::SaveOptions options;
    options.keepExistingAsBad = configState_ == persist::StartFile::Unreadable;
    if (!persist::saveAtExit(config(), folder_, options)) return false;
    configState_ = persist::StartFile::Loaded;
    return true;
}

}  // namespace cli
