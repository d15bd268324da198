#include "persist/files/data_folder.h"

#include <cstdlib>
#include <system_error>

namespace persist {

namespace {
std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::optional<std::filesystem::path> executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    return exe.parent_path();
}
}  // namespace

std::filesystem::path resolveDataFolder(const DataFolderInputs& in) {
    if (in.dataDirVariable && !in.dataDirVariable->empty()) return *in.dataDirVariable;
    if (in.executableFolder) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(*in.executableFolder / kConfigFileName, ec))
            return *in.executableFolder;
    }
    // Relative XDG paths are to be ignored, as the base directory rules say.
    if (in.xdgDataHome && !in.xdgDataHome->empty() && in.xdgDataHome->front() == '/')
        return std::filesystem::path(*in.xdgDataHome) / "quillet";
    const std::string home = in.home.value_or("");
    return std::filesystem::path(home.empty() ? "." : home) / ".local" / "share" / "quillet";
}

std::filesystem::path dataFolder() {
    return resolveDataFolder(DataFolderInputs{variable("QUILLET_DATA_DIR"), executableFolder(),
                                              variable("XDG_DATA_HOME"), variable("HOME")});
}

bool ensureFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

}  // namespace persist
