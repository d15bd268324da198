#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace cli {

// The files a command names, seen from its caller: a relative name is found in the caller's
// working folder, "-" is the caller's standard input. Error messages quote the name as given.
class CallerFiles {
public:
    // An empty folder is this process's working folder; no input is this process's stdin.
    CallerFiles(std::filesystem::path workingFolder, std::optional<std::string> standardInput)
        : workingFolder_(std::move(workingFolder)), standardInput_(std::move(standardInput)) {}

    std::filesystem::path resolve(const std::string& name) const;
    // The same, always absolute (for names stored in a record).
    std::filesystem::path absolute(const std::string& name) const;
    // The file's bytes; "-" is standard input, which is read once (a second "-" reads nothing,
    // as from a pipe). Throws CommandError when it cannot be read or is too large for an item.
    std::string read(const std::string& name);

private:
    std::filesystem::path workingFolder_;
    std::optional<std::string> standardInput_;
};

}  // namespace cli
