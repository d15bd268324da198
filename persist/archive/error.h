#pragma once

#include <stdexcept>
#include <string>

namespace cmn::archive {

// Every failure of reading or writing an archive is one of these; the caller decides what a
// failure means (default history, default configuration, an error message, a failed exchange).
class ArchiveError : public std::runtime_error {
public:
    enum class Kind {
        StreamError,        // the byte stream failed while writing, or ended early while reading
        BadToken,           // a token is not what its place requires (a number, a bool, base64)
        InvalidSignature,   // the archive does not start with "serialization::archive"
        UnsupportedVersion, // library version above 3, or a class version above the one we know
        UnregisteredClass,  // a class key that names no class known here
        InvalidClassId,     // a class id that refers to nothing
        InvalidObjectId,    // an object id that refers to nothing
        ClassMismatch,      // a reference to an object of another class, or a preamble that disagrees
        LimitExceeded,      // a string, collection, block or object count beyond the reader's limits
        Inconsistent,       // data that parses but contradicts itself (duplicate owners, unordered keys)
    };

    ArchiveError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

}  // namespace cmn::archive
