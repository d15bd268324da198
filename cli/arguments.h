#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A usage error: the command line does not say what it must. Exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure of the command itself (a missing list, an unreadable file). Exit status 1.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The words after the command word, consumed from the front.
class Arguments {
public:
    explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {}

    bool empty() const { return next_ >= words_.size(); }
    const std::string& peek() const { return words_.at(next_); }
    std::string take(const char* what) {
        if (empty()) throw UsageError(std::string("missing ") + what);
        return words_[next_++];
    }
    // Takes `name` when it comes next.
    bool takeFlag(const std::string& name) {
        if (!empty() && peek() == name) {
            ++next_;
            return true;
        }
        return false;
    }
    // Takes "name VALUE" when it comes next.
    std::optional<std::string> takeOption(const std::string& name) {
        if (!takeFlag(name)) return std::nullopt;
        return take(name.c_str());
    }
    void expectEnd() const {
        if (!empty()) throw UsageError("unexpected argument \"" + peek() + "\"");
    }

private:
    std::vector<std::string> words_;
    size_t next_ = 0;
};

// A non-negative decimal number, or a usage error naming `what`.
size_t parseIndex(const std::string& text, const char* what);

}  // namespace cli
