// Global memory blocks: handles, locks, sizes, the readability checks and the failure hook.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/global_memory.h"

namespace {

using namespace platform;

TEST(GlobalMemory, ABlockIsReachedOnlyThroughItsHandle) {
    const size_t before = globalBlockCount();
    const GlobalHandle h = globalAlloc(10, true);
    ASSERT_NE(h, GlobalHandle{});
    EXPECT_EQ(globalSize(h), 10u);
    EXPECT_EQ(globalBlockCount(), before + 1);

    auto* p = static_cast<unsigned char*>(globalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(p, p + 10), std::vector<unsigned char>(10, 0));
    std::memcpy(p, "0123456789", 10);
    EXPECT_EQ(globalLock(h), p) << "a second lock, same bytes";
    EXPECT_TRUE(globalUnlock(h)) << "still locked once";
    EXPECT_FALSE(globalUnlock(h)) << "the last lock is gone";
    EXPECT_FALSE(globalUnlock(h)) << "not locked at all";

    EXPECT_TRUE(globalReAlloc(h, 4));
    EXPECT_EQ(globalSize(h), 4u);
    EXPECT_EQ(std::memcmp(globalLock(h), "0123", 4), 0);
    EXPECT_FALSE(globalReAlloc(h, 20)) << "a locked block does not move";
    globalUnlock(h);

    EXPECT_TRUE(globalFree(h));
    EXPECT_FALSE(globalFree(h));
    EXPECT_EQ(globalSize(h), 0u);
    EXPECT_EQ(globalLock(h), nullptr);
    EXPECT_EQ(globalBlockCount(), before);
}

TEST(GlobalMemory, UnknownHandlesAndImpossibleSizes) {
    const GlobalHandle madeUp{0x12345};
    EXPECT_EQ(globalSize(madeUp), 0u);
    EXPECT_EQ(globalLock(madeUp), nullptr);
    EXPECT_FALSE(globalReAlloc(madeUp, 1));
    EXPECT_FALSE(globalFree(GlobalHandle{}));
    EXPECT_EQ(globalAlloc(kMaxGlobalBytes + 1), GlobalHandle{});

    const GlobalHandle empty = globalAlloc(0);
    ASSERT_NE(empty, GlobalHandle{});
    EXPECT_EQ(globalSize(empty), 0u);
    void* p = globalLock(empty);
    EXPECT_NE(p, nullptr);
    EXPECT_TRUE(isReadable(p, 0));
    EXPECT_FALSE(isReadable(p, 1));
    globalUnlock(empty);
    globalFree(empty);
}

TEST(GlobalMemory, ReadableMeansInsideALiveLockedBlock) {
    const GlobalHandle h = globalAlloc(8, true);
    auto* p = static_cast<unsigned char*>(globalLock(h));
    EXPECT_TRUE(isReadable(p, 8));
    EXPECT_TRUE(isReadable(p + 3, 5));
    EXPECT_FALSE(isReadable(p + 3, 6));
    EXPECT_FALSE(isReadable(p, 9));
    EXPECT_FALSE(isReadable(p - 1, 2));
    EXPECT_FALSE(isReadable(nullptr, 1));
    EXPECT_TRUE(isReadable(nullptr, 0));
    int onTheStack = 0;
    EXPECT_FALSE(isReadable(&onTheStack, sizeof onTheStack));

    globalUnlock(h);
    EXPECT_FALSE(isReadable(p, 1)) << "unlocked";
    globalLock(h);
    globalFree(h);
    EXPECT_FALSE(isReadable(p, 1)) << "freed while locked";
}

TEST(GlobalMemory, WideStringsAreReadableUpToTheirNulOrTheLimit) {
    const GlobalHandle h = globalAlloc(8, true);
    auto* p = static_cast<char16_t*>(globalLock(h));
    std::memcpy(p, u"abc", 6);  // no NUL in the first three characters, then one NUL
    EXPECT_TRUE(isReadableWideString(p, 4));
    EXPECT_TRUE(isReadableWideString(p, 100)) << "stops at the NUL";
    std::memcpy(p, u"abcd", 8);  // four characters and no NUL inside the block
    EXPECT_TRUE(isReadableWideString(p, 4));
    EXPECT_FALSE(isReadableWideString(p, 5));
    EXPECT_TRUE(isReadableWideString(p, 0));
    EXPECT_FALSE(isReadableWideString(nullptr, 1));
    globalUnlock(h);
    EXPECT_FALSE(isReadableWideString(p, 1));
    globalFree(h);
}

TEST(GlobalMemory, TheFailureHookFailsExactlyTheNextAllocations) {
    failNextGlobalAllocations(2);
    EXPECT_EQ(globalAlloc(1), GlobalHandle{});
    EXPECT_EQ(globalAlloc(1), GlobalHandle{});
    const GlobalHandle h = globalAlloc(1);
    EXPECT_NE(h, GlobalHandle{});
    globalFree(h);
    failNextGlobalAllocations(5);
    failNextGlobalAllocations(0);
    const GlobalHandle g = globalAlloc(1);
    EXPECT_NE(g, GlobalHandle{});
    globalFree(g);
}

TEST(GlobalMemory, ThreadsShareTheHeap) {
    const size_t before = globalBlockCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                const GlobalHandle h = globalAlloc(16);
                auto* p = static_cast<unsigned char*>(globalLock(h));
                std::memset(p, t, 16);
                if (!isReadable(p, 16) || p[15] != t) std::abort();
                globalUnlock(h);
                globalFree(h);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(globalBlockCount(), before);
}

}  // namespace
