// The three file loaders, fed the bytes of a file. A file either loads, and then what the
// program would save loads again to the same bytes, or it is refused the way its caller expects:
// the default history, the default configuration, an ArchiveError for a list file.

#include <sstream>
#include <string>
#include <string_view>

#include "fuzz/check_support.h"
#include "model/history.h"
#include "model/record_list.h"
#include "persist/archive/error.h"
#include "persist/config/app_config.h"
#include "persist/files/config_file.h"
#include "persist/files/file_magic.h"
#include "persist/files/history_file.h"

namespace quillet::fuzz {

namespace {

using cmn::archive::ArchiveError;

enum class File : uint8_t { History, List, Configuration, Count };

// How the rest of the input becomes the file: as it is, or as archive text behind the file's
// plain or compressed magic (so the fuzzer works on text, not on deflate bits).
enum class Wrap : uint8_t { AsIs, Plain, Compressed, Count };

// Loading a history refreshes its search lists: at most kMaxLists lists of kMaxRecords shared
// references each, on top of what the reader built.
constexpr uint64_t kSearchResultBytes =
    uint64_t{cb::History::kMaxLists} * cb::RecordList::kMaxRecords * sizeof(cb::RecordPtr);

std::string fileBytes(File file, Wrap wrap, std::string_view rest) {
    uint32_t plain = 0;
    uint32_t packed = 0;
    switch (file) {
        case File::History:
            plain = persist::kHistoryMagicPlain;
            packed = persist::kHistoryMagicCompressed;
            break;
        case File::List:
            plain = persist::kListMagicPlain;
            packed = persist::kListMagicCompressed;
            break;
        default:
            plain = packed = persist::kConfigMagic;
            break;
    }
    switch (wrap) {
        case Wrap::Plain:
            return magicBytes(plain) + std::string(rest);
        case Wrap::Compressed:
            return magicBytes(packed) + compressed(rest);
        default:
            return std::string(rest);
    }
}

std::string savedHistory(const cb::History& history) {
    std::ostringstream out;
    persist::writeHistory(history, out);
    return out.str();
}

bool isDefault(const cb::History& history) {
    return history.count() == 2 && history.at(0)->nameUtf8() == "Main" &&
           history.at(1)->nameUtf8() == "Search" && history.listeningList() == history.at(0) &&
           history.at(0)->count() == 0 && history.pendingLists().empty();
}

void checkHistory(const std::string& bytes) {
    cb::History history;
    std::istringstream in(bytes);
    HeapMeter::start();
    const persist::StartFile result = persist::loadHistoryAtStart(history, in, kSmallFileLimits);
    checkHeap("history file", heapBound(kSmallLimits, kSearchResultBytes));

    // Whatever the file held, the program gets a history it can work with.
    if (history.count() == 0) violation("history file: no lists after loading");
    if (history.indexOf(history.listeningList()) < 0)
        violation("history file: the listening list is not one of the lists");
    if (!history.pendingLists().empty()) violation("history file: pending lists left");
    for (size_t i = 0; i < history.count(); ++i)
        if (history.indexOf(history.at(i)) != static_cast<int>(i))
            violation("history file: a list stands twice");
    if (result != persist::StartFile::Loaded) {
        if (!isDefault(history)) violation("history file: refused, but not the default history");
        return;
    }

    const std::string once = savedHistory(history);
    cb::History again;
    std::istringstream reread(once);
    if (persist::loadHistoryAtStart(again, reread) != persist::StartFile::Loaded)
        violation("history file: what was saved does not load again");
    if (savedHistory(again) != once) violation("history file: loading what was saved changes it");
}

std::string savedList(const cb::RecordList& list) {
    std::ostringstream out;
    persist::writeList(list, out);
    return out.str();
}

void checkList(const std::string& bytes) {
    cb::RecordList list;
    std::istringstream in(bytes);
    HeapMeter::start();
    try {
        persist::readListFile(list, in, kSmallFileLimits);
    } catch (const ArchiveError&) {
        checkHeap("list file", heapBound(kSmallLimits));
        return;
    }
    checkHeap("list file", heapBound(kSmallLimits));

    const std::string once = savedList(list);
    cb::RecordList again;
    std::istringstream reread(once);
    try {
        persist::readListFile(again, reread);
    } catch (const ArchiveError& e) {
        violation(std::string("list file: what was saved does not load again: ") + e.what());
    }
    if (savedList(again) != once) violation("list file: loading what was saved changes it");
}

std::string savedConfig(AppConfig& config) {
    std::ostringstream out;
    persist::writeConfig(config, out);
    return out.str();
}

void checkConfiguration(const std::string& bytes) {
    AppConfig config;
    std::istringstream in(bytes);
    HeapMeter::start();
    const persist::StartFile result = persist::loadConfig(config, in, kSmallFileLimits);
    // The inflated text is held while it is read, in a string that grows by doubling.
    checkHeap("configuration file", heapBound(kSmallLimits, 2 * kSmallFileLimits.inflate.maxBytes));

    if (result != persist::StartFile::Loaded) {
        AppConfig fresh;
        if (savedConfig(config) != savedConfig(fresh))
            violation("configuration file: refused, but not the default configuration");
        if (!config.firstRun()) violation("configuration file: refused, but not a first run");
        return;
    }
    const std::string once = savedConfig(config);
    AppConfig again;
    std::istringstream reread(once);
    if (persist::loadConfig(again, reread) != persist::StartFile::Loaded)
        violation("configuration file: what was saved does not load again");
    if (savedConfig(again) != once)
        violation("configuration file: loading what was saved changes it");
}

}  // namespace

void checkDataFile(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t selector = data[0];
    const auto file = static_cast<File>(selector % static_cast<uint8_t>(File::Count));
    const auto wrap = static_cast<Wrap>(selector / static_cast<uint8_t>(File::Count) %
                                        static_cast<uint8_t>(Wrap::Count));
    const std::string bytes =
        fileBytes(file, wrap, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    switch (file) {
        case File::History:
            checkHistory(bytes);
            break;
        case File::List:
            checkList(bytes);
            break;
        default:
            checkConfiguration(bytes);
            break;
    }
}

}  // namespace quillet::fuzz
