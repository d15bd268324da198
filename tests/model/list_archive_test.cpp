// Archive forms of lists, search lists and the history, against byte strings written out by
// hand from the token rules, in both directions; and broken files, which must fail cleanly.

#include <gtest/gtest.h>

#include <sstream>

#include "list_test_support.h"
#include "model/history.h"
#include "model/search_list.h"
#include "persist/archive/archive.h"

namespace {

using cmn::archive::ArchiveError;
using cmn::archive::Limits;
using cmn::archive::Reader;
using cmn::archive::Writer;
using listtest::HistoryLog;
using listtest::names;
using Kind = ArchiveError::Kind;
using Events = std::vector<std::string>;

// The file header object that precedes the history in the history file (untracked, version 0).
struct FileInfo {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    int32_t appVersion = 4000803;
    int32_t revision = 1;
    template <class A>
    void serialize(A& ar, unsigned) {
        ar(appVersion, revision);
    }
};

std::string writeHistoryFile(const cb::History& history) {
    std::ostringstream out;
    Writer writer(out);
    writer.object(FileInfo{});
    writer.object(history);
    writer.finish();
    return out.str();
}

void readHistoryFile(const std::string& text, cb::History& history) {
    std::istringstream in(text);
    Reader reader(in, Limits::forFiles());
    FileInfo info;
    reader.object(info);
    reader.object(history);
}

template <class T>
std::string saved(const T& object) {
    std::ostringstream out;
    cmn::archive::save(object, out);
    return out.str();
}

template <class T>
void loaded(T& object, const std::string& text) {
    std::istringstream in(text);
    cmn::archive::load(object, in, Limits::forFiles());
}

const std::string kHeader = "22 serialization::archive 3";

// A history with "Main" (listening, one record with payload "abc" and text "hello") and
// "Search" (no records, empty search text). Class ids in brackets.
const std::string kWorkedExample =
    kHeader +
    " 0 0 4000803 1"      // file info [0]: tracking, version, appVersion, revision
    " 0 0 4294967295"     // history [1]: reserved
    " 0 0 2"              // lists [2]: count
    " 3 1 0 0"            // Main, a cb::RecordList [3]: tracked, version 0, object 0
    " 0 0 1"              // its records [4]: count
    " 0 1"                // shared pointer [5]: untracked, version 1
    " 6 1 1 1"            // cb::Record [6]: tracked, version 1, object 1
    " 0 0 3\n\nYWJj=\n"   // payload [7]: size 3, the block "abc"
    "5 hello 0  0 -1"     // text, empty application, time, textIndex
    " 0 0 0 8 0 0 0 0 0 0 0 0"  // id
    " 4 Main 100 1 1"     // name, maxCount, discardOld, moveToFront
    " 8 10 SearchList 1 0 2"  // Search [8] by key: tracked, version 0, object 2
    " 3 0 6 Search 100 1 0"   // its base part: object 3, no records, name, properties
    " 0 0 0  0 0"         // criteria [9]: empty text, reserved, matchCase
    " 3 0"                // listening list: a reference to Main
    " 10"                 // maxLists
    " 0"                  // pending lists
    "\n";

cb::RecordPtr helloRecord() {
    cb::RecordPtr record(new cb::Record());
    record->setPayload(cmn::mblock<char>(std::string_view("abc")));
    record->setTextUtf8("hello");
    return record;
}

TEST(ListArchive, WorkedExampleIsWrittenByteForByte) {
    cb::History history;
    history.resetToDefault();
    history.at(0)->add(helloRecord());
    EXPECT_EQ(writeHistoryFile(history), kWorkedExample);
}

TEST(ListArchive, WorkedExampleReadsBackIntoTheSameShape) {
    cb::History history;
    readHistoryFile(kWorkedExample, history);
    ASSERT_EQ(names(history), "Main,Search");
    cb::RecordList* main = history.at(0);
    EXPECT_EQ(history.listeningList(), main);
    EXPECT_EQ(dynamic_cast<SearchList*>(main), nullptr);
    EXPECT_TRUE(main->moveToFront());
    ASSERT_EQ(main->count(), 1u);
    const cb::Record& record = *main->at(0);
    EXPECT_EQ(record.payload().view(), "abc");
    EXPECT_EQ(record.textUtf8(), "hello");
    EXPECT_EQ(record.applicationUtf8(), "");
    EXPECT_EQ(record.textIndex(), -1);
    const auto* search = dynamic_cast<const SearchList*>(history.at(1));
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->count(), 0u);
    EXPECT_FALSE(search->moveToFront());
    EXPECT_EQ(history.maxLists(), 10);
    EXPECT_EQ(history.reserved(), 0xFFFFFFFFu);
    EXPECT_EQ(writeHistoryFile(history), kWorkedExample);
}

TEST(ListArchive, RecordInTwoListsIsWrittenOnceAndLoadsAsOneObject) {
    // History [0]; lists [1]; cb::RecordList [2]; records [3]; shared pointer [4];
    // cb::Record [5] (object 1); payload [6]; the second list (object 2) refers to object 1.
    const std::string expected = kHeader +
                                 " 0 0 4294967295 0 0 2"
                                 " 2 1 0 0 0 0 1 0 1 5 1 1 1 0 0 0 1 x 0  0 -1 0 0 0 8 0 0 0 0 0 0 0 0"
                                 " 4 Main 100 1 1"
                                 " 2 2 1 5 1 4 Work 100 1 0"
                                 " 2 0 10 0\n";
    cb::History history;
    history.resetToDefault();
    history.removeList(history.at(1), true);
    auto* work = new cb::RecordList(u"Work");
    ASSERT_TRUE(history.insertList(work, 1));
    auto shared = listtest::record("x");
    history.at(0)->add(shared);
    work->add(shared);
    EXPECT_EQ(saved(history), expected);

    cb::History back;
    loaded(back, expected);
    ASSERT_EQ(names(back), "Main,Work");
    const cb::RecordPtr first = back.at(0)->at(0);
    EXPECT_EQ(first, back.at(1)->at(0));
    EXPECT_EQ(first.use_count(), 3);  // the two lists and `first`
}

TEST(ListArchive, SearchListCarriesCriteriaAndCanBeTheListeningList) {
    // History [0] with reserved 7; lists [1]; cb::RecordList [2] (entered, not shown);
    // SearchList [3] by key, object 0; its base part gets the cb::RecordList preamble, object 1;
    // records [4]; criteria [5]; the listening list refers to object 0 through class 3.
    const std::string text = kHeader +
                             " 0 0 7 0 0 1"
                             " 3 10 SearchList 1 0 0 1 0 1 0 0 0 1 S 100 1 0 0 0 3 abc 1 1"
                             " 3 0 25 0\n";
    cb::History history;
    loaded(history, text);
    ASSERT_EQ(history.count(), 1u);
    auto* search = dynamic_cast<SearchList*>(history.at(0));
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(history.listeningList(), search);
    EXPECT_EQ(search->criteria().textUtf8(), "abc");
    EXPECT_TRUE(search->criteria().reserved());
    EXPECT_TRUE(search->criteria().matchCase());
    EXPECT_EQ(history.reserved(), 7u);
    EXPECT_EQ(history.maxLists(), 25);
    EXPECT_EQ(saved(history), text);
}

TEST(ListArchive, NullListeningListIsMinusOne) {
    cb::History history;
    history.insertList(new cb::RecordList(u"A"), 0);
    const std::string expected =
        kHeader + " 0 0 4294967295 0 0 1 2 1 0 0 0 0 0 1 A 100 1 0 -1 10 0\n";
    EXPECT_EQ(saved(history), expected);
    cb::History back;
    back.resetToDefault();
    loaded(back, expected);
    EXPECT_EQ(names(back), "A");
    EXPECT_EQ(back.listeningList(), nullptr);
}

TEST(ListArchive, ListFileHoldsOnlyTheRecordListPartOfASearchList) {
    cb::History history;
    auto* main = new cb::RecordList(u"Main");
    main->add(listtest::record("x"));
    auto* search = new SearchList(u"S");
    search->criteria().setText(u"x");
    history.insertList(main, 0);
    history.insertList(search, 1);
    search->refresh(history);
    // cb::RecordList [0] by value, object 0; records [1]; shared pointer [2]; cb::Record [3].
    const std::string expected = kHeader +
                                 " 1 0 0 0 0 1 0 1 3 1 1 1 0 0 0 1 x 0  0 -1"
                                 " 0 0 0 8 0 0 0 0 0 0 0 0 1 S 100 1 0\n";
    EXPECT_EQ(saved(static_cast<const cb::RecordList&>(*search)), expected);
}

TEST(ListArchive, StoredMaximumIsKeptAsWritten) {
    const std::string text = kHeader + " 1 0 0 0 0 0 1 L 5000 0 1\n";
    cb::RecordList list;
    loaded(list, text);
    EXPECT_EQ(list.maxCount(), 1000u);
    EXPECT_FALSE(list.discardOld());
    EXPECT_TRUE(list.moveToFront());
    EXPECT_EQ(saved(list), text);
}

// lists A, D; no listening list; pendingLists A (again), B, C.
const std::string kPending = kHeader +
                             " 0 0 4294967295 0 0 2"
                             " 2 1 0 0 0 0 0 1 A 100 1 0"
                             " 2 1 0 1 D 100 1 0"
                             " -1 10 3"
                             " 2 0"
                             " 2 2 0 1 B 100 1 0"
                             " 2 3 0 1 C 100 1 0\n";

TEST(ListArchive, PendingListsShareListsAndReplaceThemWhenApplied) {
    cb::History history;
    loaded(history, kPending);
    EXPECT_EQ(names(history), "A,D");
    ASSERT_EQ(history.pendingLists().size(), 3u);
    EXPECT_EQ(history.pendingLists()[0], history.at(0));
    EXPECT_EQ(saved(history), kPending);

    const cb::Identity d = history.at(1)->identity();
    HistoryLog log(history);
    history.applyPendingLists();
    EXPECT_EQ(names(history), "A,B,C");
    EXPECT_EQ(cb::RecordList::resolve(d), nullptr);  // D is gone, not kept out of sight
    EXPECT_TRUE(history.pendingLists().empty());
    EXPECT_EQ(log.events, (Events{"inserted:B@1", "inserted:C@2"}));
}

TEST(ListArchive, PendingListsAreOwnedUntilApplied) {
    {
        cb::History history;
        loaded(history, kPending);
    }
    cb::History history;
    loaded(history, kPending);
    history.resetToDefault();
    EXPECT_EQ(names(history), "Main,Search");
    EXPECT_TRUE(history.pendingLists().empty());
}

TEST(ListArchive, ListeningListOutsideTheListsIsStillOwned) {
    // The listening list is a new object (2) instead of a reference to A.
    const std::string text = kHeader +
                             " 0 0 4294967295 0 0 1 2 1 0 0 0 0 0 1 A 100 1 0"
                             " 2 1 0 4 Lost 100 1 0 10 0\n";
    cb::History history;
    loaded(history, text);
    EXPECT_EQ(names(history), "A");
    ASSERT_NE(history.listeningList(), nullptr);
    EXPECT_EQ(history.listeningList()->nameUtf8(), "Lost");
    EXPECT_EQ(history.indexOf(history.listeningList()), -1);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.rfind(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(ListArchive, BrokenFilesFailWithoutLeaksAndLeaveTheHistoryAlone) {
    struct Case {
        std::string text;
        Kind kind;
    };
    const Case cases[] = {
        // The listening list names the record's object id, through the list class or the
        // record class.
        {replaced(kWorkedExample, " 3 0 10 0\n", " 3 1 10 0\n"), Kind::ClassMismatch},
        {replaced(kWorkedExample, " 3 0 10 0\n", " 6 1 10 0\n"), Kind::ClassMismatch},
        // ... or an object id that does not exist yet.
        {replaced(kWorkedExample, " 3 0 10 0\n", " 3 7 10 0\n"), Kind::InvalidObjectId},
        {replaced(kWorkedExample, "10 SearchList", "10 SearchLisp"), Kind::UnregisteredClass},
        {kWorkedExample.substr(0, kWorkedExample.find(" 8 10 SearchList")), Kind::StreamError},
        {kWorkedExample.substr(0, kWorkedExample.rfind(" 0\n")), Kind::StreamError},
        // A null list, and a list holding a null record.
        {kHeader + " 0 0 0 0 0 0 4294967295 0 0 1 -1 -1 10 0", Kind::Inconsistent},
        {kHeader + " 0 0 0 0 0 0 4294967295 0 0 1 3 1 0 0 0 0 1 0 1 -1 1 A 100 1 0 -1 10 0",
         Kind::Inconsistent},
    };
    for (const auto& c : cases) {
        cb::History history;
        history.resetToDefault();
        const cb::RecordList* main = history.at(0);
        try {
            readHistoryFile(c.text, history);
            ADD_FAILURE() << "no error for: " << c.text;
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.text << "\n" << e.what();
        }
        EXPECT_EQ(names(history), "Main,Search");
        EXPECT_EQ(history.listeningList(), main);
    }
}

}  // namespace
