#pragma once

// The entry points that the fuzz targets and the corpus regression test share. Each takes any
// bytes and checks what must hold for them; a property that does not hold throws Violation.
// Anything else that escapes (another exception, a sanitizer report, a crash) is a finding too:
// the code under test is expected to refuse bad input with an ArchiveError, nothing else.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet::fuzz {

// Not a std::exception, so that no handler in the code under test takes it for a refusal.
struct Violation {
    std::string what;
};

// The archive reader on one top-level layout. First byte: the layout (history, list file,
// configuration, record payload, QueryInfo, ReplyInfo, and a Record, RecordList or History as a
// peer sends them); the rest: the archive text.
void checkArchive(const uint8_t* data, size_t size);

// The loaders of the history file, a record-list file and the configuration file, from bytes.
// First byte: the file, and whether the rest is the whole file or the archive text to be put
// behind the file's plain or compressed magic.
void checkDataFile(const uint8_t* data, size_t size);

// The receiving side of one connection: the bytes are what the peer sends (handshake, framed
// query, payload length and payload), as one stream.
void checkReceiver(const uint8_t* data, size_t size);

// Stops the receiver's server, so that a process can end without its thread running.
void stopReceiver();

}  // namespace quillet::fuzz
