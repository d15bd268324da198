#include "persist/files/history_file.h"

#include <fstream>
#include <system_error>

#include "model/history.h"
#include "model/record_list.h"
#include "model/search_list.h"
#include "persist/archive/archive.h"
#include "persist/archive/zlib_stream.h"
#include "persist/config/archive_info.h"
#include "persist/files/file_magic.h"
#include "persist/files/magic.h"

namespace persist {

namespace fs = std::filesystem;
using cmn::archive::ArchiveError;

namespace {

constexpr size_t kFileBufferBytes = 256 * 1024;

// An input file with a larger buffer than the default, so the archive is streamed from it.
class InputFile {
public:
    explicit InputFile(const fs::path& path) : buffer_(kFileBufferBytes) {
        in_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        in_.open(path, std::ios::binary);
        if (!in_) throw ArchiveError(ArchiveError::Kind::StreamError, "cannot open " + path.string());
    }
    std::istream& stream() { return in_; }

private:
    std::vector<char> buffer_;
    std::ifstream in_;
};

// Reads ArchiveInfo and then `object` from archive text that follows a magic.
template <class T>
void readArchiveAfterMagic(std::istream& in, bool compressed, T& object,
                           const cmn::archive::FileLimits& limits) {
    auto read = [&](std::istream& text) {
        cmn::archive::Reader reader(text, limits.archive);
        ArchiveInfo info;
        reader.object(info);
        reader.object(object);
    };
    if (compressed) cmn::archive::readCompressed(in, limits.inflate, read);
    else read(in);
}

void readHistoryFile(cb::History& history, std::istream& in,
                     const cmn::archive::FileLimits& limits) {
    checkFileSize(in, limits.maxFileBytes);
    const auto magic = readMagic(in);
    if (!magic || (*magic != kHistoryMagicPlain && *magic != kHistoryMagicCompressed))
        throw ArchiveError(ArchiveError::Kind::InvalidSignature, "not a history file");
    readArchiveAfterMagic(in, *magic == kHistoryMagicCompressed, history, limits);
}

// Throws, leaving a partial file, when the reader under `limits` would refuse the file.
template <class T>
void writeArchiveFile(std::ostream& out, uint32_t magic, const T& object, const cmn::archive::FileLimits& limits) {
    constexpr uint64_t kMagicBytes = 4;
    if (limits.maxFileBytes < kMagicBytes)
        throw ArchiveError(ArchiveError::Kind::LimitExceeded, "file larger than allowed");
    writeMagic(out, magic);
    cmn::archive::Writer writer(out, limits.archive, limits.maxFileBytes - kMagicBytes);
    writer.object(ArchiveInfo{});
    writer.object(object);
    writer.finish();
}

// Whatever the failure (bad magic, broken archive, bad zlib data, too large, no memory), the
// history falls back to its default; the failed read left it unchanged.
template <class Read>
StartFile readOrReset(cb::History& history, Read read) {
    try {
        read();
        return StartFile::Loaded;
    } catch (const std::exception&) {
        history.resetToDefault();
        return StartFile::Unreadable;
    }
}

// Makes a history fresh from a file ready for use.
void prepareLoaded(cb::History& history) {
    for (size_t i = 0; i < history.count(); ++i)
        if (auto* search = dynamic_cast<SearchList*>(history.at(i))) search->refresh(history);
    history.applyPendingLists();
    history.repairAfterLoad();
}

}  // namespace

void checkFileSize(std::istream& file, uint64_t maxBytes) {
    const std::istream::pos_type start = file.tellg();
    if (start == std::istream::pos_type(-1)) return;
    file.seekg(0, std::ios::end);
    const std::istream::pos_type end = file.tellg();
    file.seekg(start);
    if (!file) throw ArchiveError(ArchiveError::Kind::StreamError, "cannot read the file");
    if (end != std::istream::pos_type(-1) && static_cast<uint64_t>(end - start) > maxBytes)
        throw ArchiveError(ArchiveError::Kind::LimitExceeded, "file larger than allowed");
}

StartFile loadHistoryAtStart(cb::History& history, const fs::path& file) {
    StartFile result = StartFile::Missing;
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        history.resetToDefault();
    } else {
        result = readOrReset(history, [&] {
            InputFile input(file);
            readHistoryFile(history, input.stream(), cmn::archive::FileLimits::forDataFiles());
        });
    }
    prepareLoaded(history);
    return result;
}

StartFile loadHistoryAtStart(cb::History& history, std::istream& file,
                             const cmn::archive::FileLimits& limits) {
    const StartFile result =
        readOrReset(history, [&] { readHistoryFile(history, file, limits); });
    prepareLoaded(history);
    return result;
}

void writeHistory(const cb::History& history, std::ostream& out) {
    writeArchiveFile(out, kHistoryMagicPlain, history, cmn::archive::FileLimits::forDataFiles());
}

void writeList(const cb::RecordList& list, std::ostream& out) {
    // A search list is written as its record-list part: the class of the object by value.
    writeArchiveFile(out, kListMagicPlain, list, cmn::archive::FileLimits::forDataFiles());
}

bool saveHistory(const cb::History& history, const fs::path& file, const SaveOptions& options) {
    try {
        AtomicFileWriter writer(file, options.io);
        writeArchiveFile(writer.stream(), kHistoryMagicPlain, history, options.limits);
        if (options.keepExistingAsBad && !keepUnreadableFile(file)) return false;
        writer.commit();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeListFile(const cb::RecordList& list, const fs::path& file,
                   const AtomicFileWriter::Options& io) {
    std::unique_ptr<AtomicFileWriter> writer;
    try {
        writer = std::make_unique<AtomicFileWriter>(file, io);
    } catch (const std::system_error&) {
        return false;
    }
    writeList(list, writer->stream());
    writer->commit();
    return true;
}

void readListFile(cb::RecordList& list, const fs::path& file) {
    InputFile input(file);
    readListFile(list, input.stream());
}

void readListFile(cb::RecordList& list, std::istream& file,
                  const cmn::archive::FileLimits& limits) {
    checkFileSize(file, limits.maxFileBytes);
    const auto magic = readMagic(file);
    if (!magic || (*magic != kListMagicPlain && *magic != kListMagicCompressed))
        throw ArchiveError(ArchiveError::Kind::InvalidSignature, "not a record-list file");
    readArchiveAfterMagic(file, *magic == kListMagicCompressed, list, limits);
}

}  // namespace persist
