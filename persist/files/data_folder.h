#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace persist {

// The folder that holds the history and the configuration:
//  1. the folder named by QUILLET_DATA_DIR when it is set and not empty;
//  2. else the executable's folder when "quillet.cfg" stands beside it (a portable install);
//  3. else $XDG_DATA_HOME/quillet, with XDG_DATA_HOME defaulting to ~/.local/share.
// The inputs are passed in so the rule can be tested; dataFolder() reads the real ones.
struct DataFolderInputs {
    std::optional<std::string> dataDirVariable;
    std::optional<std::filesystem::path> executableFolder;
    std::optional<std::string> xdgDataHome;
    std::optional<std::string> home;
};

std::filesystem::path resolveDataFolder(const DataFolderInputs& inputs);
std::filesystem::path dataFolder();

// Creates the folder (and its parents) when missing; false when it does not exist afterwards.
bool ensureFolder(const std::filesystem::path& folder);

inline constexpr const char* kHistoryFileName = "quillet_history";
inline constexpr const char* kConfigFileName = "quillet.cfg";

}  // namespace persist
