#pragma once

#include <filesystem>
#include <istream>
#include <ostream>

#include "persist/archive/limits.h"
#include "persist/files/atomic_file.h"

namespace cb {
class History;
class RecordList;
}  // namespace cb

namespace persist {

// How a data file was found at start-up. An unreadable file is kept as "<name>.bad" by the first
// save that replaces it, so one bad byte never costs the user their whole history.
enum class StartFile { Missing, Loaded, Unreadable };

// Reads the history file into `history`. A missing or unreadable file gives the default
// history, silently; then the search lists are refreshed and the pending lists applied, and a
// history without a usable listening list is repaired.
StartFile loadHistoryAtStart(cb::History& history, const std::filesystem::path& file);

struct SaveOptions {
    // The file was unreadable at start: keep it as "<name>.bad" before replacing it.
    bool keepExistingAsBad = false;
    AtomicFileWriter::Options io;
    // What the file's reader accepts: a history beyond it is not written, since the next start
    // would have to throw it all away.
    cmn::archive::FileLimits limits = cmn::archive::FileLimits::forDataFiles();
};

// The same from the bytes of a history file (magic, then the archive, plain or compressed).
StartFile loadHistoryAtStart(
    cb::History& history, std::istream& file,
    const cmn::archive::FileLimits& limits = cmn::archive::FileLimits::forDataFiles());

// Writes the history file (plain archive). Returns false, without a message, when the file
// cannot be written or would not load again; the previous file then stays whole.
bool saveHistory(const cb::History& history, const std::filesystem::path& file,
                 const SaveOptions& options = SaveOptions());

// Writes one list to a record-list file: its record-list part only (a search list's current
// results, name and properties). Returns false when the file cannot be created; errors while
// writing throw (the caller reports "Error saving the clipboard record list!"), also a list
// too large for the file's reader.
bool writeListFile(const cb::RecordList& list, const std::filesystem::path& file,
                   const AtomicFileWriter::Options& io = AtomicFileWriter::Options());

// Reads a record-list file (plain or compressed) into `list`. Every failure throws; the caller
// reads into a temporary list and reports "Error loading the clipboard record list!".
void readListFile(cb::RecordList& list, const std::filesystem::path& file);
void readListFile(cb::RecordList& list, std::istream& file,
                  const cmn::archive::FileLimits& limits = cmn::archive::FileLimits::forDataFiles());

// The bytes that saveHistory and writeListFile write: the magic, then the plain archive.
// Stream failures throw, and so does data beyond what the files' reader accepts.
void writeHistory(const cb::History& history, std::ostream& out);
void writeList(const cb::RecordList& list, std::ostream& out);

// Refuses a seekable stream with more than maxBytes left to read (ArchiveError, LimitExceeded).
void checkFileSize(std::istream& file, uint64_t maxBytes);

}  // namespace persist
