#pragma once

// Every cap on untrusted input, in one place. The history file, list files, the configuration
// file, record payloads and everything a peer sends are read as untrusted bytes: each size is
// checked against these before anything is allocated for it, and a refusal is an ArchiveError
// (on the wire: a closed connection) that the caller turns into its fallback. The README's
// "Limits on untrusted input" section lists them for users; keep the two in step.

#include <chrono>
#include <cstdint>

namespace cmn::archive {

inline constexpr uint64_t kKiB = 1024;
inline constexpr uint64_t kMiB = 1024 * kKiB;
inline constexpr uint64_t kGiB = 1024 * kMiB;

// What a zlib stream may inflate to. Once past ratioFreeBytes of output, the output may not
// exceed maxRatio times the compressed bytes consumed so far. Deflate comes near 1000:1 only
// on runs of equal bytes, so a decompression bomb is refused after a few megabytes, while
// ordinary data (text, base64 of already compressed items) stays far below the ratio.
struct InflateLimits {
    uint64_t maxBytes;
    uint64_t ratioFreeBytes = 8 * kMiB;
    uint64_t maxRatio = 100;
};

// What a reader charges for every object it creates through a pointer, on top of the object's
// own size: a default-constructed object may allocate (a deque's first block, its identity),
// and the reader keeps bookkeeping for it.
inline constexpr uint64_t kObjectOverheadBytes = 1024;

// What one archive reader accepts.
struct Limits {
    uint64_t maxStringBytes;
    uint64_t maxCollectionCount;
    uint64_t maxBinaryBytes;
    uint64_t maxObjects;  // tracked objects plus objects created through pointers
    // What one load may build in all, as the reader counts it before building: string and block
    // bytes, collection elements at their size, objects created through pointers at their size
    // plus kObjectOverheadBytes. Allocator growth keeps the real heap within 3 times of this.
    uint64_t maxBuiltBytes = UINT64_MAX;

    // No bound at all: what a writer checks when nothing reads its output back.
    static constexpr Limits unbounded() { return Limits{UINT64_MAX, UINT64_MAX, UINT64_MAX, UINT64_MAX, UINT64_MAX}; }
    // The user's own history and list files: generous, but bounded.
    static constexpr Limits forFiles() {
        return Limits{256 * kMiB, 16u << 20, 512 * kMiB, 32u << 20, 4 * kGiB};
    }
    // The configuration file: small by nature.
    static constexpr Limits forConfig() {
        return Limits{1 * kMiB, 64u << 10, 1 * kMiB, 64u << 10, 32 * kMiB};
    }
    // The items packed inside a record (from a file or from a peer).
    static constexpr Limits forPayload() {
        return Limits{256 * kMiB, 1u << 20, 256 * kMiB, 1u << 20, 512 * kMiB};
    }
    // Data from another computer.
    static constexpr Limits forNetwork() {
        return Limits{64 * kMiB, 1u << 20, 64 * kMiB, 4u << 20, 256 * kMiB};
    }
};

// A data file: its size on disk, what its compressed variant may inflate to, and its reader.
struct FileLimits {
    uint64_t maxFileBytes;
    InflateLimits inflate;
    Limits archive;

    // The history file and record-list files.
    static constexpr FileLimits forDataFiles() {
        return FileLimits{4 * kGiB, InflateLimits{4 * kGiB}, Limits::forFiles()};
    }
    // The configuration file (always compressed).
    static constexpr FileLimits forConfigFile() {
        return FileLimits{16 * kMiB, InflateLimits{16 * kMiB}, Limits::forConfig()};
    }
};

// A record's payload when its items are unpacked. Items of a real capture can be large and
// very compressible (a spreadsheet of empty cells), so the ratio applies later than for files.
inline constexpr InflateLimits kPayloadInflate{256 * kMiB, 64 * kMiB, 100};

// What one record may hold so that the files that keep it can be read again: its text and
// source application are strings of the file's archive, its payload one block of it, and the
// payload is itself an archive read with its own limits. A capture beyond these is refused
// rather than kept in a file that the next start would have to throw away.
struct RecordLimits {
    uint64_t maxTextBytes;     // the text and the application, each
    uint64_t maxPayloadBytes;  // the packed payload
    Limits payload;            // the items' archive
    InflateLimits payloadInflate;

    static constexpr RecordLimits forFiles() {
        return RecordLimits{Limits::forFiles().maxStringBytes, Limits::forFiles().maxBinaryBytes,
                            Limits::forPayload(), kPayloadInflate};
    }
};

// The wire. Length prefixes beyond these end the exchange before a byte is allocated.
namespace wire {
inline constexpr int32_t kMaxMessageBytes = 1 << 20;   // query, reply: framed block
inline constexpr int32_t kMaxPayloadBytes = 64 << 20;  // record, list, history: framed block
// What a block may inflate to (the ratio rule of InflateLimits applies as well).
inline constexpr uint64_t kMaxDecodedMessageBytes = 1 * kMiB;
inline constexpr uint64_t kMaxDecodedPayloadBytes = 256 * kMiB;
inline constexpr InflateLimits kMessageInflate{kMaxDecodedMessageBytes};
// A payload (record, list, history) is free of the ratio up to the longest text a peer may
// send, with room for the rest of its record: a record of one long, very repetitive text (a
// column of equal cells, a repeated line) deflates far beyond 100:1, and our own sender sends
// such records. A bomb costs no more than such a record before it is refused.
inline constexpr InflateLimits kObjectInflate{
    kMaxDecodedPayloadBytes, Limits::forNetwork().maxStringBytes + 1 * kMiB, 100};
// The receiver: connections served at once, and what all of them together may hold of bodies
// not yet decoded.
inline constexpr uint64_t kMaxConnections = 64;
inline constexpr uint64_t kMaxBufferedBytes = 512 * kMiB;
// A connection on which no byte moves for this long is dropped (both sides).
inline constexpr std::chrono::milliseconds kIoTimeout{30000};
inline constexpr std::chrono::milliseconds kConnectTimeout{10000};
}  // namespace wire

}  // namespace cmn::archive
