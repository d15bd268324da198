#include "persist/archive/reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

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

// The protected get-area accessors of a stream buffer, reached through a derived class.
struct GetArea : std::streambuf {
    static char* next(std::streambuf& buffer) { return (buffer.*&GetArea::gptr)(); }
    static char* end(std::streambuf& buffer) { return (buffer.*&GetArea::egptr)(); }
    static void advance(std::streambuf& buffer, int n) { (buffer.*&GetArea::gbump)(n); }
};

// A buffer of n bytes that grows with the bytes that arrive: by doubling until an eighth has
// arrived and at most kReserveAhead is still to come, then to the whole length at once. Its last
// growth is always to exactly n, so the filled buffer is handed over without a copy. A lying
// length costs at most 8 times what arrived, and never more than kReserveAhead beyond it.
class GrowingBlock {
public:
    GrowingBlock(size_t n, size_t atHand) : n_(n) {
        // Bytes whose text is already in memory justify their room at once.
        capacity_ = atHand / 4 * 3 >= n ? n : std::min(n, kChunk);
        data_.reset(new char[capacity_]);
    }
    char* data() { return data_.get(); }
    size_t capacity() const { return capacity_; }
    void grow(size_t used) {
        size_t wanted = std::min(n_, std::max(2 * capacity_, kChunk));
        if (used >= n_ / 8 && n_ - used <= kReserveAhead) wanted = n_;
        std::unique_ptr<char[]> bigger(new char[wanted]);
        std::memcpy(bigger.get(), data_.get(), used);
        data_ = std::move(bigger);
        capacity_ = wanted;
    }
    std::unique_ptr<char[]> take() { return std::move(data_); }

private:
    size_t n_;
    size_t capacity_;
    std::unique_ptr<char[]> data_;
};
}  // namespace

Reader::Reader(std::istream& in, const Limits& limits, Layout layout)
    : in_(in.rdbuf()), limits_(limits), layout_(layout) {
    if (in_ == nullptr) fail(ArchiveError::Kind::StreamError, "no input stream");
    const int64_t length = integer(0, std::numeric_limits<int32_t>::max());
    if (length != static_cast<int64_t>(kSignature.size()))
        fail(ArchiveError::Kind::InvalidSignature, "not a text archive");
    std::string signature;
    if (peek() != std::char_traits<char>::eof()) ++cur_;
    for (size_t i = 0; i < kSignature.size(); ++i) {
        const int c = peek();
        if (c == std::char_traits<char>::eof()) break;
        signature.push_back(static_cast<char>(c));
        ++cur_;
    }
    if (signature != kSignature) fail(ArchiveError::Kind::InvalidSignature, "not a text archive");
    libraryVersion_ = static_cast<unsigned>(integer(0, std::numeric_limits<uint32_t>::max()));
    if (libraryVersion_ > kMaxLibraryVersion)
        fail(ArchiveError::Kind::UnsupportedVersion, "archive library version above 3");
}

Reader::~Reader() {
    release();
    for (auto& [address, destroy] : arena_) destroy(address);
}

void Reader::fail(ArchiveError::Kind kind, const std::string& what) const {
    throw ArchiveError(kind, what);
}

void Reader::release() {
    if (base_ != nullptr) {
        ptrdiff_t consumed = cur_ - base_;
        while (consumed > 0) {
            const int step = static_cast<int>(std::min<ptrdiff_t>(consumed, INT_MAX));
            GetArea::advance(*in_, step);
            consumed -= step;
        }
        base_ = const_cast<char*>(cur_);
    } else if (cur_ == &oneByte_ + 1) {
        // The byte looked at is taken only now that it was used.
        in_->sbumpc();
        cur_ = end_ = nullptr;
    }
}

bool Reader::fill() {
    if (cur_ != end_) return true;
    release();
    base_ = nullptr;
    cur_ = end_ = nullptr;
    if (in_->sgetc() == std::char_traits<char>::eof()) return false;
    char* next = GetArea::next(*in_);
    char* end = GetArea::end(*in_);
    if (next < end) {
        base_ = next;
        cur_ = next;
        end_ = end;
    } else {
        oneByte_ = static_cast<char>(in_->sgetc());
        cur_ = &oneByte_;
        end_ = cur_ + 1;
    }
    return true;
}

int Reader::peekAfterWhitespace() {
    for (;;) {
        while (cur_ != end_ && isSpace(static_cast<unsigned char>(*cur_))) ++cur_;
        if (cur_ != end_) return static_cast<unsigned char>(*cur_);
        if (!fill()) return std::char_traits<char>::eof();
    }
}

int64_t Reader::integer(int64_t min, int64_t max) {
    int c = peekAfterWhitespace();
    if (c == std::char_traits<char>::eof())
        fail(ArchiveError::Kind::StreamError, "archive ended early");
    bool negative = false;
    if (c == '-') {
        negative = true;
        ++cur_;
        c = peek();
    }
    uint64_t magnitude = 0;
    int digits = 0;
    while (c >= '0' && c <= '9') {
        if (++digits > 19) fail(ArchiveError::Kind::BadToken, "number too long");
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        ++cur_;
        c = peek();
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
    if (peek() == std::char_traits<char>::eof()) {
        if (n != 0) fail(ArchiveError::Kind::StreamError, "archive ended early");
    } else {
        ++cur_;
    }
    const size_t length = static_cast<size_t>(n);
    if (static_cast<size_t>(end_ - cur_) >= length) {
        out.assign(cur_, length);
        cur_ += length;
        return;
    }
    out.clear();
    // Grow with the bytes that actually arrive, so a lying length costs little: by doubling
    // until an eighth has arrived and at most kReserveAhead is still to come, then to the whole
    // length at once. A text of up to 8/7 kReserveAhead then costs at most 1.25 times its length
    // while it is read (doubling alone: up to 3 times), leaves the allocator less than half its
    // length in smaller blocks, and keeps no spare room. A lying length costs at most 8 times
    // what arrived, and never more than kReserveAhead beyond it.
    size_t remaining = length;
    while (remaining > 0) {
        if (!fill()) fail(ArchiveError::Kind::StreamError, "archive ended early");
        const size_t piece =
            std::min({remaining, kChunk, static_cast<size_t>(end_ - cur_)});
        const size_t old = out.size();
        if (old + piece > out.capacity() && old >= length / 8 && length - old <= kReserveAhead)
            out.reserve(length);
        out.append(cur_, piece);
        cur_ += piece;
        remaining -= piece;
    }
}

std::unique_ptr<char[]> Reader::binary(uint32_t n) {
    if (n == 0) return nullptr;
    if (n > limits_.maxBinaryBytes) fail(ArchiveError::Kind::LimitExceeded, "block too large");
    charge(n);
    const auto& table = base64::kDecodeTable;
    GrowingBlock block(n, static_cast<size_t>(end_ - cur_));
    size_t size = 0;
    uint32_t bits = 0;
    int bitCount = 0;
    while (size < n) {
        if (!fill()) fail(ArchiveError::Kind::StreamError, "archive ended early");
        if (size == block.capacity()) block.grow(size);
        if (bitCount == 0) {
            // Whole groups of four characters, three bytes each, while no whitespace interrupts.
            const auto* p = reinterpret_cast<const unsigned char*>(cur_);
            const auto* const pEnd = reinterpret_cast<const unsigned char*>(end_);
            char* o = block.data() + size;
            char* const oEnd = block.data() + std::min<size_t>(block.capacity(), n);
            while (pEnd - p >= 4 && oEnd - o >= 3) {
                const uint32_t a = table[p[0]], b = table[p[1]], c = table[p[2]], d = table[p[3]];
                if ((a | b | c | d) & base64::kInvalid) break;
                const uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
                o[0] = static_cast<char>(v >> 16);
                o[1] = static_cast<char>(v >> 8);
                o[2] = static_cast<char>(v);
                o += 3;
                p += 4;
            }
            cur_ = reinterpret_cast<const char*>(p);
            size = static_cast<size_t>(o - block.data());
            if (size == n) break;
            if (size == block.capacity() || cur_ == end_) continue;
        }
        // One character: whitespace, the start of a short last group, or a group across the end
        // of the window.
        const auto c = static_cast<unsigned char>(*cur_++);
        if (isSpace(c)) continue;
        const uint32_t v = table[c];
        if (v & base64::kInvalid) fail(ArchiveError::Kind::BadToken, "bad character in a binary block");
        bits = (bits << 6) | v;
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            block.data()[size++] = static_cast<char>((bits >> bitCount) & 0xFF);
        }
    }
    // The filler bits of the last character are ignored, whatever they hold; then "=" padding.
    for (int c = peek(); c != std::char_traits<char>::eof() && (isSpace(c) || c == '=');
         c = peek())
        ++cur_;
    return block.take();
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
