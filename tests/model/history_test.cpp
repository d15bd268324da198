// The history: owning its lists, the listening list, list moves and the default history.

#include <gtest/gtest.h>

#include <memory>

#include "list_test_support.h"
#include "model/history.h"
#include "model/search_list.h"

namespace {

using listtest::HistoryLog;
using listtest::names;
using Events = std::vector<std::string>;

// A history holding lists with the given names, in that order.
std::unique_ptr<cb::History> historyOf(std::initializer_list<const char16_t*> listNames) {
    auto history = std::make_unique<cb::History>();
    for (const char16_t* name : listNames) {
        EXPECT_TRUE(history->insertList(new cb::RecordList(name), history->count()));
    }
    return history;
}

TEST(History, NewHistoryIsEmpty) {
    cb::History history;
    EXPECT_EQ(history.count(), 0u);
    EXPECT_EQ(history.listeningList(), nullptr);
    EXPECT_EQ(history.reserved(), 0xFFFFFFFFu);
    EXPECT_EQ(history.maxLists(), 10);
    EXPECT_TRUE(history.pendingLists().empty());
}

TEST(History, InsertListAnnouncesAfterInsertingAndRefusesWhenFullOrOutOfRange) {
    auto history = historyOf({u"A", u"B"});
    HistoryLog log(*history);
    auto* c = new cb::RecordList(u"C");
    EXPECT_TRUE(history->insertList(c, 1));
    EXPECT_EQ(names(*history), "A,C,B");
    EXPECT_EQ(log.events, (Events{"inserted:C@1"}));
    EXPECT_FALSE(history->insertList(c, 0));  // already held

    auto refused = std::make_unique<cb::RecordList>(u"D");
    EXPECT_FALSE(history->insertList(refused.get(), 4));
    for (int i = 0; i < 7; ++i) history->insertList(new cb::RecordList(u"x"), 0);
    ASSERT_EQ(history->count(), 10u);
    EXPECT_FALSE(history->insertList(refused.get(), 0));
    history->setMaxLists(5000);  // capped at 1000
    EXPECT_EQ(history->maxLists(), 1000);
    EXPECT_TRUE(history->insertList(refused.release(), 10));
}

TEST(History, RemoveListAnnouncesBeforeAndDeletesOrHandsOver) {
    auto history = historyOf({u"A", u"B", u"C"});
    HistoryLog log(*history);
    std::unique_ptr<cb::RecordList> b(history->at(1));
    EXPECT_TRUE(history->removeList(b.get(), false));
    EXPECT_EQ(names(*history), "A,C");
    EXPECT_FALSE(history->removeList(b.get(), true));  // no longer in the history
    EXPECT_TRUE(history->removeList(history->at(1), true));
    EXPECT_EQ(names(*history), "A");
    EXPECT_EQ(log.events, (Events{"removed:B@1", "removed:C@1"}));
}

TEST(History, RemovingTheListeningListLeavesNoneAndSaysSo) {
    auto history = historyOf({u"A", u"B"});
    ASSERT_TRUE(history->setListeningList(history->at(0)));
    HistoryLog log(*history);
    history->removeList(history->at(0), true);
    EXPECT_EQ(history->listeningList(), nullptr);
    EXPECT_EQ(log.events, (Events{"removed:A@0", "listening:A>null@null"}));
}

TEST(History, ListeningListChangesOnlyToOneOfTheLists) {
    auto history = historyOf({u"A", u"B"});
    HistoryLog log(*history);
    EXPECT_TRUE(history->setListeningList(history->at(0)));
    EXPECT_TRUE(history->setListeningList(history->at(0)));  // unchanged: not announced
    EXPECT_TRUE(history->setListeningList(history->at(1)));
    cb::RecordList stranger(u"S");
    EXPECT_FALSE(history->setListeningList(&stranger));
    EXPECT_EQ(history->listeningList(), history->at(1));
    EXPECT_EQ(log.events, (Events{"listening:null>A@A", "listening:A>B@B"}));
}

TEST(History, NotifyListChanged) {
    auto history = historyOf({u"A"});
    HistoryLog log(*history);
    history->notifyListChanged(history->at(0));
    EXPECT_EQ(log.events, (Events{"changed:A"}));
}

TEST(History, MoveListLandsBeforeTheListThatStoodAtTarget) {
    struct Case {
        int from, to;
        std::string after;
    };
    const Case cases[] = {
        {0, 2, "Search,Main,Work"}, {2, 0, "Work,Main,Search"}, {1, 0, "Search,Main,Work"},
        {0, 1, "Main,Search,Work"},  // lands where it stood, but it is a move
        {0, 3, ""},  {3, 0, ""},     {-1, 0, ""}, {0, -1, ""}, {1, 1, ""},
    };
    for (const auto& c : cases) {
        auto history = historyOf({u"Main", u"Search", u"Work"});
        HistoryLog log(*history);
        const bool moved = !c.after.empty();
        EXPECT_EQ(history->moveList(c.from, c.to), moved) << c.from << ">" << c.to;
        EXPECT_EQ(names(*history), moved ? c.after : "Main,Search,Work") << c.from << ">" << c.to;
        const Events expected =
            moved ? Events{"moved:" + std::to_string(c.from) + ">" + std::to_string(c.to)} : Events{};
        EXPECT_EQ(log.events, expected);
    }
}

TEST(History, FindListByNameIsExactAndTakesTheFirst) {
    auto history = historyOf({u"Work", u"K\u00fcche", u"Work"});
    EXPECT_EQ(history->findListByName(u"Work"), history->at(0));
    EXPECT_EQ(history->findListByName(u"K\u00fcche"), history->at(1));
    EXPECT_EQ(history->findListByName(u"work"), nullptr);
    EXPECT_EQ(history->findListByName(u"Wor"), nullptr);
}

TEST(History, ResetToDefaultReplacesEverythingSilently) {
    auto history = historyOf({u"A", u"B", u"C"});
    history->setMaxLists(3);
    const cb::Identity a = history->at(0)->identity();
    HistoryLog log(*history);
    history->resetToDefault();
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(cb::RecordList::resolve(a), nullptr);  // deleted, not merely dropped from view
    ASSERT_EQ(names(*history), "Main,Search");
    const cb::RecordList* main = history->at(0);
    EXPECT_EQ(history->listeningList(), main);
    EXPECT_TRUE(main->moveToFront());
    EXPECT_TRUE(main->discardOld());
    EXPECT_EQ(main->maxCount(), 100u);
    EXPECT_EQ(dynamic_cast<const SearchList*>(main), nullptr);
    const auto* search = dynamic_cast<const SearchList*>(history->at(1));
    ASSERT_NE(search, nullptr);
    EXPECT_FALSE(search->moveToFront());
    EXPECT_EQ(search->criteria().textUtf8(), "");
    EXPECT_EQ(history->maxLists(), 10);
    const cb::Identity firstMain = main->identity();
    history->resetToDefault();
    EXPECT_EQ(history->count(), 2u);
    EXPECT_EQ(cb::RecordList::resolve(firstMain), nullptr);
}

}  // namespace
