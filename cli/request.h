#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One command as its caller gave it. A command may run in another process (the daemon), whose
// working folder and standard input are not the caller's: the request carries the caller's.
struct Request {
    // The command word and its arguments, after the global options.
    std::vector<std::string> words;
    bool json = false;
    // Relative file and folder arguments are found from here; empty: this process's own.
    std::filesystem::path workingFolder;
    // What "-" reads; nothing: this process's own standard input.
    std::optional<std::string> standardInput;
};

}  // namespace cli
