#pragma once

#include <filesystem>
#include <istream>
#include <ostream>

#include "persist/archive/limits.h"
#include "persist/files/history_file.h"

class AppConfig;

namespace persist {

// Reads "quillet.cfg" from the data folder over the defaults. The folder is created when
// missing; a missing file leaves the defaults and firstRun; an unreadable one resets to the
// defaults (firstRun true again), silently.
StartFile loadAtStart(AppConfig& config, const std::filesystem::path& dataFolder);

// The same from the bytes of a configuration file: Loaded or Unreadable (then the defaults).
StartFile loadConfig(
    AppConfig& config, std::istream& file,
    const cmn::archive::FileLimits& limits = cmn::archive::FileLimits::forConfigFile());

// The bytes that saveAtExit writes. Stream failures throw.
void writeConfig(AppConfig& config, std::ostream& out);

// Writes "quillet.cfg" (magic, then a zlib stream of the archive). Returns false, silently,
// when it cannot be written; the previous file then stays whole.
bool saveAtExit(AppConfig& config, const std::filesystem::path& dataFolder,
                const SaveOptions& options = SaveOptions());

}  // namespace persist
