#include "persist/files/config_file.h"

#include <fstream>
#include <iterator>

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

void readConfigFile(AppConfig& config, const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ArchiveError(ArchiveError::Kind::StreamError, "cannot open " + file.string());
    const auto magic = readMagic(in);
    if (!magic || *magic != kConfigMagic)
        throw ArchiveError(ArchiveError::Kind::InvalidSignature, "not a configuration file");
    // The text is small and read twice at most (two stored layouts), so it is held in memory.
    std::string text;
    cmn::archive::readCompressed(in, kMaxConfigBytes, [&](std::istream& plain) {
        text.assign(std::istreambuf_iterator<char>(plain), {});
    });
    config.readArchive(text);
}

}  // namespace

StartFile loadAtStart(AppConfig& config, const fs::path& dataFolder) {
    if (!ensureFolder(dataFolder)) return StartFile::Missing;
    const fs::path file = dataFolder / kConfigFileName;
    std::error_code ec;
    if (!fs::exists(file, ec)) return StartFile::Missing;
    try {
        readConfigFile(config, file);
        config.setFirstRun(false);
        return StartFile::Loaded;
    } catch (const std::exception&) {
        config.resetToDefaults();
        return StartFile::Unreadable;
    }
}

bool saveAtExit(AppConfig& config, const fs::path& dataFolder, const SaveOptions& options) {
    const fs::path file = dataFolder / kConfigFileName;
    try {
        AtomicFileWriter writer(file, options.io);
        writeMagic(writer.stream(), kConfigMagic);
        cmn::archive::writeCompressed(writer.stream(),
                                      [&](std::ostream& out) { config.saveArchive(out); });
        if (options.keepExistingAsBad && !keepUnreadableFile(file)) return false;
        writer.commit();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace persist
