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
void readArchiveAfterMagic(std::istream& in, bool compressed, T& object) {
    auto read = [&](std::istream& text) {
        cmn::archive::Reader reader(text, cmn::archive::Limits::forFiles());
        ArchiveInfo info;
        reader.object(info);
        reader.object(object);
    };
    if (compressed) cmn::archive::readCompressed(in, kMaxDecompressedFileBytes, read);
    else read(in);
}

void readHistoryFile(cb::History& history, const fs::path& file) {
    InputFile input(file);
    const auto magic = readMagic(input.stream());
    if (!magic || (*magic != kHistoryMagicPlain && *magic != kHistoryMagicCompressed))
        throw ArchiveError(ArchiveError::Kind::InvalidSignature, "not a history file");
    readArchiveAfterMagic(input.stream(), *magic == kHistoryMagicCompressed, history);
}

template <class T>
void writeArchiveFile(std::ostream& out, uint32_t magic, const T& object) {
    writeMagic(out, magic);
    cmn::archive::Writer writer(out);
    writer.object(ArchiveInfo{});
    writer.object(object);
    writer.finish();
}

}  // namespace

StartFile loadHistoryAtStart(cb::History& history, const fs::path& file) {
    StartFile result = StartFile::Missing;
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        history.resetToDefault();
    } else {
        try {
            readHistoryFile(history, file);
            result = StartFile::Loaded;
        } catch (const std::exception&) {
            // Whatever the failure (bad magic, broken archive, bad zlib data, too large), the
            // history falls back to its default; the failed read left it unchanged.
            history.resetToDefault();
            result = StartFile::Unreadable;
        }
    }
    for (size_t i = 0; i < history.count(); ++i)
        if (auto* search = dynamic_cast<SearchList*>(history.at(i))) search->refresh(history);
    history.applyPendingLists();
    history.repairAfterLoad();
    return result;
}

bool saveHistory(const cb::History& history, const fs::path& file, const SaveOptions& options) {
    try {
        AtomicFileWriter writer(file, options.io);
        writeArchiveFile(writer.stream(), kHistoryMagicPlain, history);
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
    // A search list is written as its record-list part: the class of the object by value.
    writeArchiveFile(writer->stream(), kListMagicPlain, static_cast<const cb::RecordList&>(list));
    writer->commit();
    return true;
}

void readListFile(cb::RecordList& list, const fs::path& file) {
    InputFile input(file);
    const auto magic = readMagic(input.stream());
    if (!magic || (*magic != kListMagicPlain && *magic != kListMagicCompressed))
        throw ArchiveError(ArchiveError::Kind::InvalidSignature, "not a record-list file");
    readArchiveAfterMagic(input.stream(), *magic == kListMagicCompressed, list);
}

}  // namespace persist
