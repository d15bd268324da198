#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cb {

// Whether a text holds a needle as a contiguous run of bytes; without matchCase, the ASCII
// letters A-Z and a-z compare equal to their other case (the "C" locale's folding), every other
// byte only to itself, so UTF-8 sequences are never folded. An empty needle matches nothing.
//
// Built once per search and used on every record's text in place: sixteen candidate positions
// are tested at once by their first and last needle byte, and only those that pass are compared
// in full.
class TextMatcher {
public:
    TextMatcher(std::string_view needle, bool matchCase);

    bool matches(std::string_view text) const;

private:
    // Needle byte i matches a text byte c when (c | fold_[i]) == want_[i]: fold_ is 0x20 for a
    // letter without matchCase (want_ is then the lower case letter), else 0.
    bool matchesAt(const unsigned char* at) const;

    std::string want_;
    std::string fold_;
};

}  // namespace cb
