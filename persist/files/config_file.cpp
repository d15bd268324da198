#include "persist/files/config_file.h"

#include <fstream>

#include "persist/archive/error.h"
#include "persist/archive/zlib_stream.h"
#include "persist/config/app_config.h"
#include "persist/files/data_folder.h"
#include "persist/files/file_magic.h"
#include "persist/files/magic.h"

namespace persist {

namespace fs = std::filesystem;
using cmn::archive::ArchiveError;

namespace {

void readConfigFile(AppConfig& config, std::istream& in, const cmn::archive::FileLimits& limits) {
    checkFileSize(in, limits.maxFileBytes);
    const auto magic = readMagic(in);
    if (!magic || *magic != kConfigMagic)
        throw ArchiveError(ArchiveError::Kind::InvalidSignature, "not a configuration file");
    // The text is small and read twice at most (two stored layouts), so it is held in memory.
    // Read in pieces, not through stream iterators: the fuzzing engine links its own copy of the
    // string constructor that takes them, built without exception cleanups, and decompression
    // errors arrive as exceptions in the middle of the text.
    std::string text;
    cmn::archive::readCompressed(in, limits.inflate, [&](std::istream& plain) {
        char piece[16 * 1024];
        std::streamsize got;
        while ((got = plain.rdbuf()->sgetn(piece, sizeof piece)) > 0)
            text.append(piece, static_cast<size_t>(got));
    });
    config.readArchive(text, limits.archive);
}

}  // namespace

StartFile loadConfig(AppConfig& config, std::istream& file,
                     const cmn::archive::FileLimits& limits) {
    try {
        readConfigFile(config, file, limits);
        config.setFirstRun(false);
        return StartFile::Loaded;
    } catch (const std::exception&) {
        config.resetToDefaults();
        return StartFile::Unreadable;
    }
}

void writeConfig(AppConfig& config, std::ostream& out) {
    writeMagic(out, kConfigMagic);
    cmn::archive::writeCompressed(out, [&](std::ostream& text) { config.saveArchive(text); });
}

StartFile loadAtStart(AppConfig& config, const fs::path& dataFolder) {
    if (!ensureFolder(dataFolder)) return StartFile::Missing;
    const fs::path file = dataFolder / kConfigFileName;
    std::error_code ec;
    if (!fs::exists(file, ec)) return StartFile::Missing;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        config.resetToDefaults();
        return StartFile::Unreadable;
    }
    return loadConfig(config, in);
}

bool saveAtExit(AppConfig& config, const fs::path& dataFolder, const SaveOptions& options) {
    const fs::path file = dataFolder / kConfigFileName;
    try {
        AtomicFileWriter writer(file, options.io);
        writeConfig(config, writer.stream());
        if (options.keepExistingAsBad && !keepUnreadableFile(file)) return false;
        writer.commit();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace persist
