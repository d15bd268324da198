#include "persist/archive/reader.h"

#include <algorithm>

#include "persist/archive/base64.h"

namespace cmn::archive {

namespace {
constexpr std::string_view kSignature = "serialization::archive";
constexpr size_t kChunk = 64 * 1024;
// The most room a string or block is given for bytes that have not arrived yet.
constexpr size_t kReserveAhead = 64 * 1024 * 1024;

bool isSpace(int c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f';
}
}  // namespace

Reader::Reader(std::istream& in, const Limits& limits, Layout layout)
    : in_(in.rdbuf()), limits_(limits), layout_(layout) {
    if (in_ == nullptr) fail(ArchiveError::Kind::StreamError, "no input stream");
    const int64_t length = integer(0, std::numeric_limits<int32_t>::max());
    if (length != static_cast<int64_t>(kSignature.size()))
        fail(ArchiveError::Kind::InvalidSignature, "not a text archive");
    std::string signature;
    in_->sbumpc();
    signature.resize(kSignature.size());
    if (in_->sgetn(signature.data(), static_cast<std::streamsize>(signature.size())) !=
            static_cast<std::streamsize>(signature.size()) ||
        signature != kSignature)
        fail(ArchiveError::Kind::InvalidSignature, "not a text archive");
    libraryVersion_ = static_cast<unsigned>(integer(0, std::numeric_limits<uint32_t>::max()));
    if (libraryVersion_ > kMaxLibraryVersion)
        fail(ArchiveError::Kind::UnsupportedVersion, "archive library version above 3");
}

Reader::~Reader() {
    for (auto& [address, destroy] : arena_) destroy(address);
}

void Reader::fail(ArchiveError::Kind kind, const std::string& what) const {
    throw ArchiveError(kind, what);
}

int Reader::peekAfterWhitespace() {
    int c = in_->sgetc();
    while (c != std::char_traits<char>::eof() && isSpace(c)) c = in_->snextc();
    return c;
}

int64_t Reader::integer(int64_t min, int64_t max) {
    int c = peekAfterWhitespace();
    if (c == std::char_traits<char>::eof())
        fail(ArchiveError::Kind::StreamError, "archive ended early");
    bool negative = false;
    if (c == '-') {
        negative = true;
        c = in_->snextc();
    }
    uint64_t magnitude = 0;
    int digits = 0;
    while (c >= '0' && c <= '9') {
        if (++digits > 19) fail(ArchiveError::Kind::BadToken, "number too long");
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        c = in_->snextc();
    }
    if (digits == 0 || (c != std::char_traits<char>::eof() && !isSpace(c)))
        fail(ArchiveError::Kind::BadToken, "a number was expected");
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        fail(ArchiveError::Kind::BadToken, "number out of range");
    const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (value < min || value > max) fail(ArchiveError::Kind::BadToken, "number out of range");
    return value;
}

bool Reader::boolean() { return integer(0, 1) != 0; }

uint64_t Reader::count(uint64_t elementBytes) {
    const int64_t n = integer(0, std::numeric_limits<uint32_t>::max());
    if (static_cast<uint64_t>(n) > limits_.maxCollectionCount)
        fail(ArchiveError::Kind::LimitExceeded, "collection too large");
    // n < 2^32 and elements are small objects: the product cannot overflow.
    charge(static_cast<uint64_t>(n) * elementBytes);
    return static_cast<uint64_t>(n);
}

void Reader::charge(uint64_t bytes) {
    if (bytes > limits_.maxBuiltBytes - std::min(built_, limits_.maxBuiltBytes))
        fail(ArchiveError::Kind::LimitExceeded, "more data than one load may build");
    built_ += bytes;
}

void Reader::string(std::string& out) {
    const int64_t n = integer(0, std::numeric_limits<int64_t>::max());
    if (static_cast<uint64_t>(n) > limits_.maxStringBytes)
        fail(ArchiveError::Kind::LimitExceeded, "string too long");
    charge(static_cast<uint64_t>(n));
    // One separator stands between the length and the bytes; an empty string may end the input.
    if (in_->sbumpc() == std::char_traits<char>::eof() && n != 0)
        fail(ArchiveError::Kind::StreamError, "archive ended early");
    out.clear();
    // Grow with the bytes that actually arrive, so a lying length costs little: by doubling
    // until an eighth has arrived and at most kReserveAhead is still to come, then to the whole
    // length at once. A text of up to 8/7 kReserveAhead then costs at most 1.25 times its length
    // while it is read (doubling alone: up to 3 times), leaves the allocator less than half its
    // length in smaller blocks, and keeps no spare room. A lying length costs at most 8 times
    // what arrived, and never more than kReserveAhead beyond it.
    const size_t length = static_cast<size_t>(n);
    size_t remaining = length;
    while (remaining > 0) {
        const size_t piece = std::min(remaining, kChunk);
        const size_t old = out.size();
        if (old + piece > out.capacity() && old >= length / 8 && length - old <= kReserveAhead)
            out.reserve(length);
        out.resize(old + piece);
        if (in_->sgetn(out.data() + old, static_cast<std::streamsize>(piece)) !=
            static_cast<std::streamsize>(piece))
            fail(ArchiveError::Kind::StreamError, "archive ended early");
        remaining -= piece;
    }
}

void Reader::binary(uint32_t n, std::vector<char>& out) {
    out.clear();
    if (n == 0) return;
    if (n > limits_.maxBinaryBytes) fail(ArchiveError::Kind::LimitExceeded, "block too large");
    charge(n);
    out.reserve(std::min<size_t>(n, kChunk));
    uint32_t bits = 0;
    int bitCount = 0;
    int c = in_->sgetc();
    while (out.size() < n) {
        if (c == std::char_traits<char>::eof())
            fail(ArchiveError::Kind::StreamError, "archive ended early");
        if (!isSpace(c)) {
            const int v = base64::decodeChar(static_cast<unsigned char>(c));
            if (v < 0) fail(ArchiveError::Kind::BadToken, "bad character in a binary block");
            bits = (bits << 6) | static_cast<uint32_t>(v);
            bitCount += 6;
            if (bitCount >= 8) {
                bitCount -= 8;
                // As for strings: the whole block once an eighth has arrived and the rest fits.
                if (out.size() == out.capacity() && out.size() >= n / 8 &&
                    n - out.size() <= kReserveAhead)
                    out.reserve(n);
                out.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
            }
        }
        c = in_->snextc();
    }
    // The filler bits of the last character are ignored, whatever they hold; then "=" padding.
    while (c != std::char_traits<char>::eof() && (isSpace(c) || c == '=')) c = in_->snextc();
}

void Reader::byteArray(uint8_t* bytes, size_t n) {
    if (integer(0, std::numeric_limits<uint32_t>::max()) != static_cast<int64_t>(n))
        fail(ArchiveError::Kind::BadToken, "array of the wrong length");
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(integer(0, 255));
}

size_t Reader::classId(std::type_index type) {
    auto [it, inserted] = classIds_.try_emplace(type, classes_.size());
    if (inserted) classes_.push_back(ClassEntry{type});
    return it->second;
}

void Reader::preamble(ClassEntry& entry, bool tracked, unsigned knownVersion) {
    if (entry.preambleRead) return;
    const bool storedTracking = boolean();
    const auto storedVersion =
        static_cast<unsigned>(integer(0, std::numeric_limits<uint32_t>::max()));
    if (storedTracking != tracked)
        fail(ArchiveError::Kind::ClassMismatch, "class tracking differs from its definition");
    if (storedVersion > knownVersion)
        fail(ArchiveError::Kind::UnsupportedVersion, "class version newer than this program");
    entry.preambleRead = true;
    entry.tracked = storedTracking;
    entry.version = storedVersion;
}

size_t Reader::objectId() {
    const int64_t id = integer(0, std::numeric_limits<uint32_t>::max());
    if (static_cast<uint64_t>(id) > objects_.size())
        fail(ArchiveError::Kind::InvalidObjectId, "object id refers to nothing");
    return static_cast<size_t>(id);
}

void Reader::addObject(void* address, std::type_index type) {
    if (objects_.size() >= limits_.maxObjects)
        fail(ArchiveError::Kind::LimitExceeded, "too many objects");
    objects_.push_back(ObjectEntry{address, type});
}

}  // namespace cmn::archive
