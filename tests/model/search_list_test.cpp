// Search lists: which records a refresh finds, in which order, how many, and how it tells.

#include <gtest/gtest.h>

#include <sstream>

#include "list_test_support.h"
#include "model/history.h"
#include "model/search_list.h"
#include "persist/archive/archive.h"

namespace {

using listtest::ListLog;
using listtest::record;
using listtest::texts;
using Events = std::vector<std::string>;

// Main: r1 (newest), r2; Work: r3; and the search list under test at the end.
struct SearchFixture : ::testing::Test {
    cb::History history;
    cb::RecordList* main = new cb::RecordList(u"Main");
    cb::RecordList* work = new cb::RecordList(u"Work");
    SearchList* search = new SearchList(u"Search");

    void SetUp() override {
        main->add(record("r2 match"));
        main->add(record("r1 match"));
        work->add(record("r3 match"));
        ASSERT_TRUE(history.insertList(main, 0));
        ASSERT_TRUE(history.insertList(work, 1));
        ASSERT_TRUE(history.insertList(search, 2));
    }
    std::string find(const std::u16string& text, bool matchCase = false) {
        search->criteria().setText(text);
        search->criteria().setMatchCase(matchCase);
        search->refresh(history);
        return texts(*search);
    }
};

TEST_F(SearchFixture, HistoryOrderNewestFirstWithOneResetAndNoPerRecordCalls) {
    ListLog log(*search);
    EXPECT_EQ(find(u"match"), "r1 match,r2 match,r3 match");
    EXPECT_EQ(log.events, (Events{"reset:3"}));
    EXPECT_EQ(search->at(0), main->at(0));  // the same record, not a copy
}

TEST_F(SearchFixture, StopsAtTheEffectiveMaximum) {
    search->setMaxCount(2);
    EXPECT_EQ(find(u"match"), "r1 match,r2 match");
    search->setMaxCount(1);
    EXPECT_EQ(find(u"match"), "r1 match");
}

TEST_F(SearchFixture, StoredMaximumAboveOneThousandFindsOneThousand) {
    work->setDiscardOld(false);
    for (int i = 0; i < 1100; ++i) work->add(record("many match"));
    // A file may carry 5000; loading keeps it, the list honours 1000.
    std::istringstream in("22 serialization::archive 3 1 0 0 0 0 0 6 Search 5000 1 0");
    cmn::archive::load(static_cast<cb::RecordList&>(*search), in, cmn::archive::Limits::forFiles());
    find(u"match");
    ASSERT_EQ(search->count(), 1000u);
    EXPECT_EQ(search->at(999), work->at(997));
}

TEST_F(SearchFixture, EmptyTextFindsNothingAndClearsEarlierResults) {
    EXPECT_EQ(find(u"match").empty(), false);
    ListLog log(*search);
    EXPECT_EQ(find(u""), "");
    EXPECT_EQ(log.events, (Events{"reset:0"}));
}

TEST_F(SearchFixture, OtherSearchListsAreSkippedEvenWhenTheyMatch) {
    auto* other = new SearchList(u"Other");
    other->criteria().setText(u"r1");
    ASSERT_TRUE(history.insertList(other, 0));
    other->refresh(history);
    ASSERT_EQ(texts(*other), "r1 match");
    main->add(record("r0 match"));  // results do not follow the lists until the next refresh
    EXPECT_EQ(texts(*other), "r1 match");
    EXPECT_EQ(find(u"r1"), "r1 match");  // once, from Main only
    EXPECT_EQ(find(u"r1"), "r1 match");  // and not from its own earlier results
}

TEST_F(SearchFixture, RecordInTwoListsIsFoundTwice) {
    work->add(main->at(1));
    EXPECT_EQ(find(u"r2"), "r2 match,r2 match");
    EXPECT_EQ(search->at(0), search->at(1));
}

TEST_F(SearchFixture, ResultsOutliveTheirSourceList) {
    find(u"r3");
    history.removeList(work, true);
    ASSERT_EQ(search->count(), 1u);
    EXPECT_EQ(search->at(0)->textUtf8(), "r3 match");
}

TEST(SearchMatch, CaseFoldingIsAsciiOnly) {
    struct Case {
        std::string text;  // UTF-8 bytes
        std::u16string needle;
        bool matchCase;
        bool found;
    };
    const Case cases[] = {
        {"xxAbCxx", u"abc", false, true},
        {"xxAbCxx", u"abc", true, false},
        {"xxabcxx", u"abc", true, true},
        {"ABC", u"abc", false, true},
        {"ab", u"abc", false, false},
        {"xxabxcab", u"abc", false, false},
        {"aaab", u"aab", false, true},  // a false start must not hide the real one
        {"xAb", u"ab", false, true},    // the skip after "A" must allow for "a"
        {"xyzxyzABC", u"abc", false, true},
        {"ABCxyzxyz", u"abc", false, true},
        {"a", u"a", true, true},
        // C3 84 against C3 A4: they differ only in bit 0x20, like A and a.
        {"\xC3\x84", u"\u00e4", false, false},
        {"\xC3\xA4", u"\u00e4", false, true},
        {"x\xC3\x84y", u"X\u00c4Y", false, true},
        // The neighbours of the letters are not letters.
        {"@[\\]^", u"`{|}~", false, false},
    };
    for (const auto& c : cases) {
        cb::History history;
        auto* list = new cb::RecordList(u"L");
        list->add(record(c.text));
        auto* search = new SearchList(u"S");
        ASSERT_TRUE(history.insertList(list, 0));
        ASSERT_TRUE(history.insertList(search, 1));
        search->criteria().setText(c.needle);
        search->criteria().setMatchCase(c.matchCase);
        search->refresh(history);
        EXPECT_EQ(search->count(), c.found ? 1u : 0u) << "case " << &c - cases;
    }
}

struct CriteriaLog : SearchCriteriaObserver {
    int calls = 0;
    void criteriaChanged(const SearchCriteria&) override { ++calls; }
};

TEST(SearchCriteria, OnlyRealChangesAreAnnounced) {
    SearchCriteria criteria;
    CriteriaLog log;
    criteria.addObserver(&log);
    criteria.setText(u"");
    criteria.setMatchCase(false);
    EXPECT_EQ(log.calls, 0);
    criteria.setText(u"K\u00fcche");
    criteria.setText(u"K\u00fcche");
    EXPECT_EQ(criteria.textUtf8(), "K\xC3\xBC" "che");
    criteria.setMatchCase(true);
    criteria.setMatchCase(true);
    EXPECT_EQ(log.calls, 2);
    criteria.removeObserver(&log);
    criteria.setText(u"other");
    EXPECT_EQ(log.calls, 2);
}

}  // namespace
