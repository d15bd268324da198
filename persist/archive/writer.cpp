#include "persist/archive/writer.h"

#include <algorithm>
#include <charconv>

#include "persist/archive/base64.h"

namespace cmn::archive {

namespace {
constexpr size_t kFlushThreshold = 64 * 1024;
constexpr std::string_view kSignature = "serialization::archive";
}  // namespace

Writer::Writer(std::ostream& out, const Limits& readerLimits, uint64_t maxBytes)
    : out_(out), limits_(readerLimits), maxBytes_(maxBytes) {
    buffer_.reserve(kFlushThreshold + 1024);
    // The reader takes the signature apart from the strings it counts.
    rawString(kSignature);
    unsignedInteger(kLibraryVersion);
}

void Writer::refuse(const char* what) { throw ArchiveError(ArchiveError::Kind::LimitExceeded, what); }

void Writer::charge(uint64_t bytes) {
    if (bytes > limits_.maxBuiltBytes - std::min(built_, limits_.maxBuiltBytes))
        refuse("more data than one load may build");
    built_ += bytes;
}

void Writer::writeOut(const char* data, size_t n) {
    if (n > maxBytes_ - std::min(written_, maxBytes_)) refuse("archive larger than its reader accepts");
    out_.write(data, static_cast<std::streamsize>(n));
    if (!out_) throw ArchiveError(ArchiveError::Kind::StreamError, "archive stream failed");
    written_ += n;
}

void Writer::finish() {
    buffer_.push_back('\n');
    flush();
    out_.flush();
    if (!out_) throw ArchiveError(ArchiveError::Kind::StreamError, "archive stream failed");
}

void Writer::flush() {
    if (buffer_.empty()) return;
    writeOut(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void Writer::flushIfFull() {
    if (buffer_.size() >= kFlushThreshold) flush();
}

void Writer::beginToken() {
    if (first_) first_ = false;
    else buffer_.push_back(delimiter_);
    delimiter_ = ' ';
}

void Writer::signedInteger(int64_t value) {
    beginToken();
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, result.ptr);
    flushIfFull();
}

void Writer::unsignedInteger(uint64_t value) {
    beginToken();
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, result.ptr);
    flushIfFull();
}

void Writer::string(std::string_view bytes) {
    if (bytes.size() > limits_.maxStringBytes) refuse("string too long");
    charge(bytes.size());
    rawString(bytes);
}

void Writer::rawString(std::string_view bytes) {
    unsignedInteger(bytes.size());
    buffer_.push_back(' ');
    if (bytes.size() >= kFlushThreshold) {
        flush();
        writeOut(bytes.data(), bytes.size());
    } else {
        buffer_.append(bytes);
        flushIfFull();
    }
}

void Writer::binary(const char* data, uint32_t n) {
    if (n == 0) return;
    if (n > limits_.maxBinaryBytes) refuse("block too large");
    charge(n);
    buffer_.append("\n\n");
    // Encode in slices of whole lines so a large block never sits in memory twice.
    constexpr size_t kSliceBytes = 54 * 1024;  // 54 bytes make one 72-character line
    size_t done = 0;
    while (done < n) {
        const size_t slice = std::min<size_t>(kSliceBytes, n - done);
        if (done != 0) buffer_.push_back('\n');
        base64::encodeBlock(data + done, slice, buffer_);
        // Only the block as a whole ends with "="; an inner slice is a multiple of 3 bytes.
        if (done + slice < n) buffer_.pop_back();
        done += slice;
        flushIfFull();
    }
    delimiter_ = '\n';
}

void Writer::count(uint64_t n, uint64_t elementBytes) {
    if (n > limits_.maxCollectionCount) refuse("collection too large");
    charge(n * elementBytes);
    unsignedInteger(n);
}

void Writer::byteArray(const uint8_t* bytes, size_t n) {
    unsignedInteger(n);
    for (size_t i = 0; i < n; ++i) unsignedInteger(bytes[i]);
}

Writer::ClassState& Writer::classState(std::type_index type, bool* isNew) {
    auto [it, inserted] =
        classes_.try_emplace(type, ClassState{static_cast<unsigned>(classes_.size())});
    if (isNew) *isNew = inserted;
    return it->second;
}

void Writer::preamble(ClassState& state, bool tracked, unsigned version) {
    if (state.preambleWritten) return;
    state.preambleWritten = true;
    boolean(tracked);
    unsignedInteger(version);
}

bool Writer::objectId(const void* address, std::type_index type) {
    auto [it, inserted] = objects_.try_emplace(ObjectKey{address, type}, nextObjectId_);
    unsignedInteger(it->second);
    if (!inserted) return false;
    if (nextObjectId_ >= limits_.maxObjects) refuse("too many objects");
    ++nextObjectId_;
    return true;
}

}  // namespace cmn::archive
