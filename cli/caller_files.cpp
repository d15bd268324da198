#include "cli/caller_files.h"

#include <fstream>
#include <iostream>

#include "cli/arguments.h"

namespace cli {

namespace {

constexpr uint64_t kMaxItemFileBytes = 256u << 20;

std::string tooLarge(const std::string& name) {
    return "\"" + name + "\" is too large for a clipboard item.";
}

}  // namespace

std::filesystem::path CallerFiles::resolve(const std::string& name) const {
    // An absolute name stays as it is.
    return workingFolder_.empty() ? std::filesystem::path(name) : workingFolder_ / name;
}

std::filesystem::path CallerFiles::absolute(const std::string& name) const {
    std::error_code ec;
    auto path = std::filesystem::absolute(resolve(name), ec);
    return ec ? resolve(name) : path;
}

std::string CallerFiles::read(const std::string& name) {
    if (name == "-" && standardInput_) {
        std::string bytes = std::move(*standardInput_);
        standardInput_ = std::string();
        if (bytes.size() > kMaxItemFileBytes) throw CommandError(tooLarge(name));
        return bytes;
    }
    std::string bytes;
    auto readAll = [&](std::istream& in) {
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            bytes.append(buffer, static_cast<size_t>(in.gcount()));
            if (bytes.size() > kMaxItemFileBytes) throw CommandError(tooLarge(name));
        }
    };
    if (name == "-") {
        readAll(std::cin);
        return bytes;
    }
    std::ifstream in(resolve(name), std::ios::binary);
    if (!in) throw CommandError("The file \"" + name + "\" cannot be read.");
    readAll(in);
    if (in.bad()) throw CommandError("The file \"" + name + "\" cannot be read.");
    return bytes;
}

}  // namespace cli
