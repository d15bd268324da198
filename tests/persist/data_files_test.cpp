// The history, configuration and record-list files on disk: magic numbers, both variants,
// the bad-file cases, the kept copy of an unreadable file, and interrupted saves.

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "model/history.h"
#include "model/record_list.h"
#include "model/search_list.h"
#include "persist/config/app_config.h"
#include "persist/files/config_file.h"
#include "persist/files/history_file.h"
#include "platform/screen.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using persist::StartFile;

cb::RecordPtr record(const std::string& text) {
    cb::RecordPtr r(new cb::Record());
    r->setTextUtf8(text);
    r->setPayload(cmn::mblock<char>(std::string_view("payload")));
    return r;
}

std::string names(const cb::History& h) {
    std::string out;
    for (const auto* l : h.lists()) out += (out.empty() ? "" : ",") + l->nameUtf8();
    return out;
}

std::string texts(const cb::RecordList& list) {
    std::string out;
    for (const auto& r : list.records()) out += (out.empty() ? "" : ",") + r->textUtf8();
    return out;
}

std::string zlibCompress(const std::string& text) {
    std::string out(compressBound(text.size()), '\0');
    uLongf size = out.size();
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(text.data()), text.size());
    out.resize(size);
    return out;
}

const std::string kHistoryPlainMagic("\x31\xC5\x8D\x42", 4);
const std::string kHistoryZlibMagic("\x30\xC5\x8D\x42", 4);
const std::string kListPlainMagic("\x81\x30\x8B\xBF", 4);
const std::string kListZlibMagic("\x80\x30\x8B\xBF", 4);
const std::string kConfigMagic("\xA0\xFF\xE7\x4D", 4);

// Lists [A], listening A, pending lists [A, B, C], written out by hand.
const std::string kPendingHistory =
    "22 serialization::archive 3 0 0 4000803 1 0 0 4294967295 0 0 1 3 1 0 0 0 0 0 1 A 100 1 0"
    " 3 0 10 3 3 0 3 1 0 1 B 100 1 0 3 2 0 1 C 100 1 0\n";

class DataFiles : public testsupport::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        historyFile = folder / "quillet_history";
    }

    // A history with Main (two records, one of them also in Work) and Work, and a search list.
    static void fill(cb::History& h) {
        h.resetToDefault();
        auto shared = record("shared");
        h.listeningList()->add(record("first"));
        h.listeningList()->add(shared);
        auto* work = new cb::RecordList(u"Work");
        work->add(shared);
        ASSERT_TRUE(h.insertList(work, 1));
        static_cast<SearchList*>(h.at(2))->criteria().setText(u"sha");
    }

    fs::path historyFile;
};

TEST_F(DataFiles, HistorySurvivesSaveAndLoad) {
    cb::History saved;
    fill(saved);
    ASSERT_TRUE(persist::saveHistory(saved, historyFile));
    EXPECT_EQ(contents(historyFile).substr(0, 4), kHistoryPlainMagic);

    cb::History loaded;
    EXPECT_EQ(persist::loadHistoryAtStart(loaded, historyFile), StartFile::Loaded);
    EXPECT_EQ(names(loaded), "Main,Work,Search");
    EXPECT_EQ(loaded.listeningList(), loaded.at(0));
    EXPECT_EQ(texts(*loaded.at(0)), "shared,first");
    EXPECT_EQ(loaded.at(0)->at(0), loaded.at(1)->at(0));  // still one record
    EXPECT_EQ(loaded.at(0)->at(0)->payload().view(), "payload");
    // The search list was refreshed after loading: the shared record, found in both lists.
    EXPECT_EQ(texts(*loaded.at(2)), "shared,shared");
}

TEST_F(DataFiles, ZlibVariantLoadsLikeItsPlainTwin) {
    cb::History saved;
    fill(saved);
    ASSERT_TRUE(persist::saveHistory(saved, historyFile));
    write(historyFile, kHistoryZlibMagic + zlibCompress(contents(historyFile).substr(4)));
    cb::History loaded;
    EXPECT_EQ(persist::loadHistoryAtStart(loaded, historyFile), StartFile::Loaded);
    EXPECT_EQ(names(loaded), "Main,Work,Search");
    EXPECT_EQ(texts(*loaded.at(0)), "shared,first");
}

TEST_F(DataFiles, BadHistoryFilesGiveTheDefaultAndAreKeptAtTheNextSave) {
    const std::string archive = kPendingHistory;
    const std::string cases[] = {
        std::string("\x31\xC5\x8D", 3),
        kConfigMagic + archive,
        kHistoryPlainMagic + archive.substr(0, archive.size() / 2),
        kHistoryPlainMagic + "22 serialization::archive 4 0 0",
        kHistoryZlibMagic + "not zlib data at all",
        kHistoryZlibMagic + zlibCompress(archive).substr(0, 20),
    };
    for (const auto& bytes : cases) {
        write(historyFile, bytes);
        fs::remove(folder / "quillet_history.bad");
        cb::History h;
        fill(h);
        ASSERT_EQ(persist::loadHistoryAtStart(h, historyFile), StartFile::Unreadable);
        EXPECT_EQ(names(h), "Main,Search");
        EXPECT_EQ(h.listeningList(), h.at(0));
        EXPECT_EQ(h.at(0)->count(), 0u);

        ASSERT_TRUE(persist::saveHistory(h, historyFile, {.keepExistingAsBad = true, .io = {}}));
        EXPECT_EQ(contents(folder / "quillet_history.bad"), bytes);
        EXPECT_EQ(contents(historyFile).substr(0, 4), kHistoryPlainMagic);
    }
}

TEST_F(DataFiles, MissingHistoryFileGivesTheDefault) {
    cb::History h;
    EXPECT_EQ(persist::loadHistoryAtStart(h, historyFile), StartFile::Missing);
    EXPECT_EQ(names(h), "Main,Search");
    EXPECT_TRUE(h.at(0)->moveToFront());
}

TEST_F(DataFiles, InterruptedSaveLeavesThePreviousFileIntact) {
    cb::History h;
    fill(h);
    ASSERT_TRUE(persist::saveHistory(h, historyFile));
    const std::string previous = contents(historyFile);
    h.listeningList()->add(record(std::string(100000, 'n')));
    persist::SaveOptions failing;
    failing.io.failAfterBytes = 1000;
    EXPECT_FALSE(persist::saveHistory(h, historyFile, failing));
    EXPECT_EQ(contents(historyFile), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
}

// What an autosave writes on its worker thread: the same bytes as the history had when the
// snapshot was taken, whatever the history does afterwards.
TEST_F(DataFiles, SnapshotWritesTheHistoryAsItWasWhenTaken) {
    cb::History h;
    fill(h);
    ASSERT_TRUE(h.setListeningList(h.at(1)));
    h.at(1)->setMaxCount(7);
    h.at(1)->setDiscardOld(false);
    h.setMaxLists(25);
    std::ostringstream before;
    persist::writeHistory(h, before);

    const std::unique_ptr<cb::History> snapshot = h.snapshot();
    EXPECT_EQ(snapshot->at(1)->at(0), h.at(1)->at(0));  // the records are shared, not copied
    h.listeningList()->add(record("later"));
    h.at(0)->setName(u"Renamed");
    static_cast<SearchList*>(h.at(2))->criteria().setText(u"other");
    ASSERT_TRUE(h.removeList(h.at(1), true));

    std::ostringstream written;
    persist::writeHistory(*snapshot, written);
    EXPECT_EQ(written.str(), before.str());
}

TEST_F(DataFiles, PendingListsReplaceTheLists) {
    write(historyFile, kHistoryPlainMagic + kPendingHistory);
    cb::History h;
    ASSERT_EQ(persist::loadHistoryAtStart(h, historyFile), StartFile::Loaded);
    EXPECT_EQ(names(h), "A,B,C");
    EXPECT_TRUE(h.pendingLists().empty());
    EXPECT_EQ(h.listeningList(), h.at(0));
}

TEST_F(DataFiles, HistoriesWithoutAUsableListeningListAreRepaired) {
    struct Case {
        std::string archiveAfterHeader;  // after ArchiveInfo: the history's fields
        std::string names;
        size_t listening;
    };
    const Case cases[] = {
        // No lists at all: the default history.
        {"0 0 4294967295 0 0 0 -1 10 0", "Main,Search", 0},
        // A null listening list: the first list that is not a search list.
        {"0 0 4294967295 0 0 2 3 1 0 0 0 0 0 1 A 100 1 0 3 1 0 1 B 100 1 0 -1 10 0", "A,B", 0},
        // Only a search list: a new Main in front listens.
        {"0 0 4294967295 0 0 1 4 10 SearchList 1 0 0 1 0 1 0 0 0 1 S 100 1 0 0 0 0  0 0 -1 10 0",
         "Main,S", 0},
        // A list that stands twice keeps its first place.
        {"0 0 4294967295 0 0 2 3 1 0 0 0 0 0 1 A 100 1 0 3 0 3 0 10 0", "A", 0},
    };
    for (const auto& c : cases) {
        write(historyFile, kHistoryPlainMagic + "22 serialization::archive 3 0 0 4000803 1 " +
                               c.archiveAfterHeader + "\n");
        cb::History h;
        ASSERT_EQ(persist::loadHistoryAtStart(h, historyFile), StartFile::Loaded)
            << c.archiveAfterHeader;
        EXPECT_TRUE(h.listeningList() != nullptr);
        EXPECT_EQ(names(h), c.names);
        EXPECT_EQ(h.listeningList(), h.at(c.listening));
    }
}

TEST_F(DataFiles, ListFileOfASearchListLoadsAsAnOrdinaryList) {
    cb::History h;
    fill(h);
    auto* search = static_cast<SearchList*>(h.at(2));
    search->refresh(h);
    const fs::path file = folder / "results.qlt";
    ASSERT_TRUE(persist::writeListFile(*search, file));
    EXPECT_EQ(contents(file).substr(0, 4), kListPlainMagic);
    EXPECT_EQ(contents(file).find("SearchList"), std::string::npos);

    cb::RecordList loaded;
    persist::readListFile(loaded, file);
    EXPECT_EQ(loaded.nameUtf8(), "Search");
    EXPECT_EQ(texts(loaded), "shared,shared");
    EXPECT_EQ(loaded.at(0), loaded.at(1));

    write(file, kListZlibMagic + zlibCompress(contents(file).substr(4)));
    cb::RecordList fromZlib;
    persist::readListFile(fromZlib, file);
    EXPECT_EQ(texts(fromZlib), "shared,shared");
}

TEST_F(DataFiles, FilesThatAreNotListFilesThrow) {
    const fs::path file = folder / "x.qlt";
    const std::string cases[] = {"", "abc", kHistoryPlainMagic + kPendingHistory,
                                 kListPlainMagic + "22 serialization::archive 3 0 0 1 1 1 0 0 9",
                                 kListZlibMagic + "garbage"};
    for (const auto& bytes : cases) {
        write(file, bytes);
        cb::RecordList list;
        EXPECT_ANY_THROW(persist::readListFile(list, file)) << bytes;
    }
    cb::RecordList list;
    EXPECT_ANY_THROW(persist::readListFile(list, folder / "absent.qlt"));
    EXPECT_FALSE(persist::writeListFile(list, folder / "no" / "such" / "folder.qlt"));
}

class ConfigFile : public DataFiles {};

TEST_F(ConfigFile, SurvivesSaveAndLoadAndStartsWithItsMagic) {
    AppConfig saved;
    saved.setChar(40, 'Q');
    saved.excludedPrograms().push_back("/usr/bin/keepassxc");
    ASSERT_TRUE(persist::saveAtExit(saved, folder));
    EXPECT_EQ(contents(folder / "quillet.cfg").substr(0, 4), kConfigMagic);

    AppConfig loaded;
    EXPECT_EQ(persist::loadAtStart(loaded, folder), StartFile::Loaded);
    EXPECT_FALSE(loaded.firstRun());
    EXPECT_EQ(loaded.getChar(40, 0), 'Q');
    EXPECT_EQ(loaded.excludedPrograms(), std::vector<std::string>{"/usr/bin/keepassxc"});
}

TEST_F(ConfigFile, MissingFileKeepsDefaultsAndCreatesTheFolder) {
    AppConfig config;
    const fs::path nested = folder / "new" / "quillet";
    EXPECT_EQ(persist::loadAtStart(config, nested), StartFile::Missing);
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_TRUE(config.firstRun());
}

TEST_F(ConfigFile, ClassVersion1FileLoadsHostsFromTheVector) {
    // Options {40: "Z"}, three empty reserved texts, reserved 0, no trusted clients, one
    // remembered host in a vector, appVersion, reserved flag, no automatic-send hosts.
    const std::string archive =
        "22 serialization::archive 3 0 0 4000803 1 0 1 0 0 0 0 1 40 0 0 1 Z 0  0  0  0 0 0 0 0 0 "
        "0 0 1 0 0 4 peer 45689 4000803 0 0\n";
    write(folder / "quillet.cfg", kConfigMagic + zlibCompress(archive));
    AppConfig config;
    config.excludedPrograms().push_back("stale");
    ASSERT_EQ(persist::loadAtStart(config, folder), StartFile::Loaded);
    EXPECT_EQ(config.getChar(40, 0), 'Z');
    ASSERT_EQ(config.rememberedHosts().size(), 1u);
    EXPECT_EQ(config.rememberedHosts()[0].host, "peer");
    EXPECT_EQ(config.rememberedHosts()[0].port, 45689);
    EXPECT_TRUE(config.excludedPrograms().empty());
    EXPECT_TRUE(config.autoSendHosts().empty());
}

TEST_F(ConfigFile, UnreadableFileGivesDefaultsAndIsKeptAtTheNextSave) {
    const std::string cases[] = {std::string("\xA0\xFF", 2), kHistoryPlainMagic + "x",
                                 kConfigMagic + "not zlib",
                                 kConfigMagic + zlibCompress("22 serialization::archive 3 0 0")};
    for (const auto& bytes : cases) {
        write(folder / "quillet.cfg", bytes);
        AppConfig config;
        config.setChar(40, 'X');
        EXPECT_EQ(persist::loadAtStart(config, folder), StartFile::Unreadable);
        EXPECT_TRUE(config.firstRun());
        EXPECT_EQ(config.getChar(40, 0), 'B');
        ASSERT_TRUE(persist::saveAtExit(config, folder, {.keepExistingAsBad = true, .io = {}}));
        EXPECT_EQ(contents(folder / "quillet.cfg.bad"), bytes);
    }
}

// The writer refuses exactly what the reader refuses: for each of the reader's limits, the
// smallest value at which the history's bytes load is the smallest at which the save succeeds.
// Below it the save fails and the previous file stays, loadable.
TEST_F(DataFiles, SaveRefusesExactlyTheFilesItsReaderWouldRefuseAndKeepsThePreviousOne) {
    using cmn::archive::FileLimits;
    const FileLimits unbounded{UINT64_MAX, cmn::archive::InflateLimits{UINT64_MAX}, cmn::archive::Limits::unbounded()};
    cb::History h;
    fill(h);
    cb::RecordPtr large = record(std::string(3000, 't'));
    large->setPayload(cmn::mblock<char>(std::string(5000, 'p')));
    h.listeningList()->add(large);
    std::ostringstream written;
    persist::writeHistory(h, written);
    const std::string bytes = written.str();

    const struct {
        const char* limit;
        void (*set)(FileLimits&, uint64_t);
    } limits[] = {
        {"file bytes", [](FileLimits& l, uint64_t v) { l.maxFileBytes = v; }},
        {"string bytes", [](FileLimits& l, uint64_t v) { l.archive.maxStringBytes = v; }},
        {"block bytes", [](FileLimits& l, uint64_t v) { l.archive.maxBinaryBytes = v; }},
        {"collection count", [](FileLimits& l, uint64_t v) { l.archive.maxCollectionCount = v; }},
        {"objects", [](FileLimits& l, uint64_t v) { l.archive.maxObjects = v; }},
        {"built bytes", [](FileLimits& l, uint64_t v) { l.archive.maxBuiltBytes = v; }},
    };
    for (const auto& limit : limits) {
        SCOPED_TRACE(limit.limit);
        auto at = [&](uint64_t value) {
            FileLimits l = unbounded;
            limit.set(l, value);
            return l;
        };
        auto loads = [&](uint64_t value) {
            std::istringstream in(bytes);
            cb::History loaded;
            return persist::loadHistoryAtStart(loaded, in, at(value)) == StartFile::Loaded;
        };
        uint64_t refused = 0, accepted = uint64_t{1} << 30;
        ASSERT_FALSE(loads(refused));
        ASSERT_TRUE(loads(accepted));
        while (accepted - refused > 1) {
            const uint64_t middle = refused + (accepted - refused) / 2;
            (loads(middle) ? accepted : refused) = middle;
        }

        persist::SaveOptions fits;
        fits.limits = at(accepted);
        ASSERT_TRUE(persist::saveHistory(h, historyFile, fits));
        EXPECT_EQ(contents(historyFile), bytes);
        fs::remove(historyFile);
        fill(h);  // a smaller history, saved before the large one is refused
        ASSERT_TRUE(persist::saveHistory(h, historyFile));
        const std::string previous = contents(historyFile);
        h.listeningList()->add(large);
        persist::SaveOptions tooSmall;
        tooSmall.limits = at(refused);
        EXPECT_FALSE(persist::saveHistory(h, historyFile, tooSmall));
        EXPECT_EQ(contents(historyFile), previous);
        cb::History loaded;
        EXPECT_EQ(persist::loadHistoryAtStart(loaded, historyFile), StartFile::Loaded);
        EXPECT_EQ(texts(*loaded.at(0)), "shared,first");
        fill(h);
        h.listeningList()->add(large);
    }
}

}  // namespace
