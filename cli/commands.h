#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

struct Options {
    std::filesystem::path dataFolder;
    bool json = false;
};

// Runs the command line (without the program name). Returns the exit status: 0 success,
// 1 a failed command, 2 a usage error. Output goes to `out`, errors as one sentence to `err`.
int run(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

// The usage text.
std::string usage();

}  // namespace cli
