#include "app/runtime_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace app {

namespace {

constexpr size_t kMaxKeyLength = 64;

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// Our own folder under the shared temporary folder: anybody may create names there, so what
// stands at the name is checked before it is trusted.
std::filesystem::path privateFolder(const std::filesystem::path& folder, uid_t uid) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("The folder \"" + folder.string() +
                                 "\" cannot be created: " + std::strerror(errno) + ".");
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        throw std::runtime_error("The folder \"" + folder.string() +
                                 "\" cannot be examined: " + std::strerror(errno) + ".");
    if (!S_ISDIR(info.st_mode))
        throw std::runtime_error("\"" + folder.string() + "\" is not a folder.");
    if (info.st_uid != uid)
        throw std::runtime_error("The folder \"" + folder.string() +
                                 "\" belongs to another user.");
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        throw std::runtime_error("The folder \"" + folder.string() +
                                 "\" cannot be made private: " + std::strerror(errno) + ".");
    return folder;
}

}  // namespace

std::string displayKey(std::string_view display) {
    if (display.empty()) return "nodisplay";
    std::string_view host;
    std::string_view number = display;
    if (const auto colon = display.rfind(':'); colon != std::string_view::npos) {
        host = display.substr(0, colon);
        number = display.substr(colon + 1);
    }
    if (const auto dot = number.find('.'); dot != std::string_view::npos)
        number = number.substr(0, dot);
    // "unix:0" is the local display ":0".
    if (host == "unix") host = {};
    std::string key = host.empty() ? std::string(number) : std::string(host) + "_" + std::string(number);
    for (char& c : key) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!kept) c = '_';
    }
    if (key.empty()) return "nodisplay";
    if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
    return key;
}

std::filesystem::path runtimeFolder(const RuntimeInputs& inputs) {
    if (inputs.xdgRuntimeDir && !inputs.xdgRuntimeDir->empty() &&
        std::filesystem::path(*inputs.xdgRuntimeDir).is_absolute()) {
        std::error_code ec;
        if (std::filesystem::is_directory(*inputs.xdgRuntimeDir, ec)) return *inputs.xdgRuntimeDir;
    }
    return privateFolder(inputs.temporaryFolder / ("quillet-" + std::to_string(inputs.uid)),
                         inputs.uid);
}

RuntimePaths runtimePaths(const RuntimeInputs& inputs) {
    const std::filesystem::path folder = runtimeFolder(inputs);
    const std::string name = "quillet-" + displayKey(inputs.display.value_or(""));
    return {folder / (name + ".lock"), folder / (name + ".sock")};
}

std::filesystem::path controlSocketPath(const std::filesystem::path& runtimeFolder,
                                        const std::filesystem::path& dataFolder) {
    // FNV-1a, 64 bits: a stable name, not a secret (the folder is private).
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : dataFolder.string()) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name = "quillet-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
    return runtimeFolder / (name + ".sock");
}

std::filesystem::path controlSocketPath(const std::filesystem::path& dataFolder) {
    RuntimeInputs inputs;
    inputs.xdgRuntimeDir = environment("XDG_RUNTIME_DIR");
    inputs.uid = ::getuid();
    return controlSocketPath(runtimeFolder(inputs), dataFolder);
}

RuntimePaths runtimePaths() {
    RuntimeInputs inputs;
    inputs.xdgRuntimeDir = environment("XDG_RUNTIME_DIR");
    inputs.display = environment("DISPLAY");
    inputs.uid = ::getuid();
    return runtimePaths(inputs);
}

}  // namespace app
