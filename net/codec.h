#pragma once

// Messages and payloads are built completely in memory before they are written, and read
// completely into memory before they are decoded: a zlib stream around a one-object archive.

#include <algorithm>
#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/stream.hpp>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <type_traits>
#include <vector>

#include "net/messages.h"
#include "persist/archive/archive.h"
#include "persist/archive/limits.h"
#include "persist/archive/zlib_stream.h"

namespace cmn::iostreams {

// An output device that appends every byte written to a vector.
class container_sink {
public:
    using char_type = char;
    using category = boost::iostreams::sink_tag;

    explicit container_sink(std::vector<char>& target) : target_(&target) {}

    std::streamsize write(const char* s, std::streamsize n) {
        target_->insert(target_->end(), s, s + n);
        return n;
    }

private:
    std::vector<char>* target_;
};

// An input device that reads a byte container (anything with data() and size() over bytes:
// std::vector<char>, cmn::mblock<char>) from its first byte to its end. The container must
// outlive the device.
template <class Container>
class container_source {
public:
    using char_type = char;
    using category = boost::iostreams::source_tag;

    explicit container_source(const Container& source)
        : data_(reinterpret_cast<const char*>(source.data())),
          size_(static_cast<size_t>(source.size())) {}

    std::streamsize read(char* s, std::streamsize n) {
        if (position_ >= size_) return -1;
        const size_t count = std::min(static_cast<size_t>(n), size_ - position_);
        std::memcpy(s, data_ + position_, count);
        position_ += count;
        return static_cast<std::streamsize>(count);
    }

private:
    const char* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace cmn::iostreams

namespace net {

// Protocol failure: short transfer, wrong handshake, a message that cannot be encoded, a length
// prefix out of bounds. Deliberately not a std::exception: the sender reports these apart from
// socket and archive errors.
struct e_failed {};

// Length prefixes are untrusted: anything negative or above these ends the exchange before a
// byte is allocated for it. The values are those of persist/archive/limits.h, where every cap
// on untrusted input is stated.
inline constexpr int32_t kMaxMessageBytes = cmn::archive::wire::kMaxMessageBytes;  // query, reply
inline constexpr int32_t kMaxPayloadBytes = cmn::archive::wire::kMaxPayloadBytes;  // objects

// What a block may decompress to. A query or reply is a few dozen bytes of text; payloads are
// mostly base64 of already compressed items, but a record's text stands outside its items and
// may shrink a thousandfold on the wire (wire::kObjectInflate in limits.h).
inline constexpr uint64_t kMaxDecodedMessageBytes = cmn::archive::wire::kMaxDecodedMessageBytes;
inline constexpr uint64_t kMaxDecodedPayloadBytes = cmn::archive::wire::kMaxDecodedPayloadBytes;

template <class T>
constexpr cmn::archive::InflateLimits inflateLimits() {
    if constexpr (std::is_same_v<T, QueryInfo> || std::is_same_v<T, ReplyInfo>)
        return cmn::archive::wire::kMessageInflate;
    else
        return cmn::archive::wire::kObjectInflate;
}

// The object as a zlib stream of a fresh archive holding it by value. Archive and compressor
// errors are thrown.
template <class T>
std::vector<char> encodeObject(const T& object) {
    std::vector<char> encoded;
    {
        boost::iostreams::stream<cmn::iostreams::container_sink> sink(
            cmn::iostreams::container_sink{encoded});
        cmn::archive::writeCompressed(
            static_cast<std::ostream&>(sink),
            [&](std::ostream& out) { cmn::archive::save(object, out); });
        sink.flush();
        if (!sink)
            throw cmn::archive::ArchiveError(cmn::archive::ArchiveError::Kind::StreamError,
                                             "encoding failed");
    }
    return encoded;
}

// False, leaving the object untouched, for an empty container; otherwise loads the object with
// the limits for data from another computer. Malformed data throws (ArchiveError); the object may
// then be half filled and is to be discarded.
template <class T, class Container>
bool decodeObject(const Container& encoded, T& object,
                  const cmn::archive::InflateLimits& inflate = inflateLimits<T>()) {
    if (encoded.size() == 0) return false;
    boost::iostreams::stream<cmn::iostreams::container_source<Container>> source(
        cmn::iostreams::container_source<Container>{encoded});
    cmn::archive::readCompressed(static_cast<std::istream&>(source), inflate,
                                 [&](std::istream& in) {
                                     cmn::archive::load(object, in,
                                                        cmn::archive::Limits::forNetwork());
                                 });
    return true;
}

}  // namespace net
