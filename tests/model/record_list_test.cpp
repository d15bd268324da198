// Record lists: the discard rule, positions, moves, and when observers hear of each change.

#include <gtest/gtest.h>

#include <memory>

#include "list_test_support.h"
#include "model/record_list.h"

namespace {

using listtest::ListLog;
using listtest::record;
using listtest::texts;
using Events = std::vector<std::string>;

// A list holding n records "r0" (newest) ... "r<n-1>" (oldest), added without discarding.
void fill(cb::RecordList& list, int n) {
    const bool discard = list.discardOld();
    list.setDiscardOld(false);
    for (int i = n - 1; i >= 0; --i) list.add(record("r" + std::to_string(i)));
    list.setDiscardOld(discard);
}

TEST(RecordList, NewListDefaults) {
    cb::RecordList list;
    EXPECT_EQ(list.maxCount(), 100u);
    EXPECT_TRUE(list.discardOld());
    EXPECT_FALSE(list.moveToFront());
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.at(0), nullptr);
}

TEST(RecordList, FullListDiscardsOldestBeforeAnnouncingTheNewRecord) {
    cb::RecordList list;
    fill(list, 100);
    ListLog log(list);
    list.add(record("new"));
    EXPECT_EQ(log.events, (Events{"removed:r99@99", "inserted:new@0"}));
    EXPECT_EQ(list.count(), 100u);
    EXPECT_EQ(list.at(0)->textUtf8(), "new");
    EXPECT_EQ(list.at(99)->textUtf8(), "r98");
}

TEST(RecordList, WithoutDiscardingCanAddTurnsFalseButAddStillAdds) {
    cb::RecordList list;
    list.setDiscardOld(false);
    fill(list, 99);
    EXPECT_TRUE(list.canAdd());
    list.add(record("r"));
    EXPECT_FALSE(list.canAdd());
    ListLog log(list);
    list.add(record("over"));
    EXPECT_EQ(list.count(), 101u);
    EXPECT_EQ(log.events, (Events{"inserted:over@0"}));
    list.setDiscardOld(true);
    EXPECT_TRUE(list.canAdd());
}

TEST(RecordList, LoweredMaximumDiscardsOneRecordPerAddition) {
    cb::RecordList list;
    fill(list, 100);
    list.setMaxCount(10);
    ListLog log(list);
    list.add(record("a"));
    list.add(record("b"));
    EXPECT_EQ(list.count(), 100u);
    EXPECT_EQ(log.events,
              (Events{"removed:r99@99", "inserted:a@0", "removed:r98@99", "inserted:b@0"}));
    list.removeAt(0);
    EXPECT_EQ(list.count(), 99u);
}

TEST(RecordList, MaximumIsCappedAtOneThousand) {
    cb::RecordList list;
    list.setMaxCount(5000);
    EXPECT_EQ(list.maxCount(), 1000u);
    list.setMaxCount(1000);
    EXPECT_EQ(list.maxCount(), 1000u);
    list.setMaxCount(7);
    EXPECT_EQ(list.maxCount(), 7u);
}

TEST(RecordList, InsertPositions) {
    struct Case {
        int maxCount;
        size_t index;
        bool done;
        std::string after;
        Events events;
    };
    const Case cases[] = {
        {100, 0, true, "x,r0,r1,r2", {"inserted:x@0"}},
        {100, 2, true, "r0,r1,x,r2", {"inserted:x@2"}},
        {100, 3, true, "r0,r1,r2,x", {"inserted:x@3"}},
        {100, 4, false, "r0,r1,r2", {}},
        // Full: the oldest goes first, and an index past the new end appends.
        {3, 1, true, "r0,x,r1", {"removed:r2@2", "inserted:x@1"}},
        {3, 3, true, "r0,r1,x", {"removed:r2@2", "inserted:x@2"}},
    };
    for (const auto& c : cases) {
        cb::RecordList list;
        list.setMaxCount(static_cast<uint32_t>(c.maxCount));
        fill(list, 3);
        ListLog log(list);
        EXPECT_EQ(list.insert(record("x"), c.index), c.done) << c.index;
        EXPECT_EQ(texts(list), c.after) << c.maxCount << " " << c.index;
        EXPECT_EQ(log.events, c.events) << c.maxCount << " " << c.index;
    }
}

TEST(RecordList, MoveLandsBeforeTheRecordThatStoodAtTarget) {
    struct Case {
        size_t from, to;
        std::string after;
        Events events;
    };
    const Case cases[] = {
        {0, 2, "r1,r0,r2", {"removed:r0@0", "inserted:r0@1"}},
        {2, 0, "r2,r0,r1", {"removed:r2@2", "inserted:r2@0"}},
        {0, 3, "r1,r2,r0", {"removed:r0@0", "inserted:r0@2"}},
        {1, 1, "r0,r1,r2", {}},
        {3, 0, "r0,r1,r2", {}},
        {0, 4, "r0,r1,r2", {}},
    };
    for (const auto& c : cases) {
        cb::RecordList list;
        fill(list, 3);
        ListLog log(list);
        EXPECT_EQ(list.move(c.from, c.to), !c.events.empty());
        EXPECT_EQ(texts(list), c.after) << c.from << ">" << c.to;
        EXPECT_EQ(log.events, c.events) << c.from << ">" << c.to;
    }
}

TEST(RecordList, MoveInAListAboveItsMaximumLosesNothing) {
    cb::RecordList list;
    fill(list, 5);
    list.setMaxCount(2);  // lowered below the count; discarding stays on
    EXPECT_TRUE(list.move(4, 0));
    EXPECT_EQ(texts(list), "r4,r0,r1,r2,r3");
}

TEST(RecordList, MoveTakesTheRecordAtItsPositionWhenItStandsTwice) {
    cb::RecordList list;
    const auto shared = record("s");
    list.add(record("x"));
    list.add(shared);
    list.add(record("y"));
    list.add(shared);  // s, y, s, x
    EXPECT_TRUE(list.move(2, 4));
    ASSERT_EQ(texts(list), "s,y,x,s");
    EXPECT_EQ(list.at(0), shared);
    EXPECT_EQ(list.at(3), shared);
}

TEST(RecordList, MoveToFrontIsAnnouncedBeforeTheChange) {
    cb::RecordList list;
    fill(list, 3);
    ListLog log(list);
    EXPECT_TRUE(list.moveToFront(2));
    EXPECT_FALSE(list.moveToFront(3));
    EXPECT_EQ(texts(list), "r2,r0,r1");
    EXPECT_EQ(log.events, (Events{"front:2=r2"}));
}

TEST(RecordList, RemoveTakesTheFirstPositionOfThatVeryRecord) {
    cb::RecordList list;
    const auto shared = record("s");
    list.add(shared);
    list.add(record("a"));
    list.add(shared);
    ListLog log(list);
    EXPECT_FALSE(list.remove(record("s")));  // equal text, other record
    EXPECT_TRUE(list.remove(shared));
    EXPECT_EQ(texts(list), "a,s");
    EXPECT_EQ(list.indexOf(shared), 1);
    EXPECT_EQ(log.events, (Events{"removed:s@0"}));
}

TEST(RecordList, RemovedRecordStaysAliveForTheObservers) {
    cb::RecordList list;
    list.add(record("only"));
    struct Reader : cb::RecordListObserver {
        std::string seen;
        void recordInserted(const cb::RecordPtr&) override {}
        void recordRemoved(const cb::RecordPtr& r) override { seen = r->textUtf8(); }
        void recordMovedToFront(size_t) override {}
        void recordsCleared() override {}
        void recordsReset() override {}
    } reader;
    list.addObserver(&reader);
    list.removeAt(0);
    EXPECT_EQ(reader.seen, "only");
    EXPECT_EQ(list.count(), 0u);
}

TEST(RecordList, ClearAnnouncesOnceAfterwards) {
    cb::RecordList list;
    fill(list, 3);
    ListLog log(list);
    list.clear();
    EXPECT_EQ(log.events, (Events{"cleared:0"}));
}

TEST(RecordList, ObserversInRegistrationOrderAndRemovedByFirstOccurrence) {
    cb::RecordList list;
    Events all;
    ListLog first(list, "1", &all);
    ListLog second(list, "2", &all);
    list.addObserver(&first);  // registered twice
    list.add(record("a"));
    EXPECT_EQ(all, (Events{"1inserted:a@0", "2inserted:a@0", "1inserted:a@0"}));
    all.clear();
    list.removeObserver(&first);  // the first occurrence: 1 now follows 2
    list.add(record("b"));
    EXPECT_EQ(all, (Events{"2inserted:b@0", "1inserted:b@0"}));
    all.clear();
    list.removeObserver(&first);
    list.removeObserver(&first);  // absent: nothing
    list.add(record("c"));
    EXPECT_EQ(all, (Events{"2inserted:c@0"}));
}

TEST(RecordList, NameIsWideOutsideAndUtf8Inside) {
    cb::RecordList list(u"K\u00fcche \u20ac");
    EXPECT_EQ(list.nameUtf8(), "K\xC3\xBC" "che \xE2\x82\xAC");
    EXPECT_EQ(list.name(), u"K\u00fcche \u20ac");
}

TEST(RecordList, IdentityResolvesToTheLiveListOnly) {
    cb::Identity id;
    {
        cb::RecordList list;
        cb::RecordList other;
        id = list.identity();
        EXPECT_NE(id, other.identity());
        EXPECT_EQ(cb::RecordList::resolve(id), &list);
    }
    EXPECT_EQ(cb::RecordList::resolve(id), nullptr);
}

}  // namespace
