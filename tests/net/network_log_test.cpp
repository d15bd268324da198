// The in-memory log of the sending side.

#include "net/network_log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(NetworkLog, KeepsTheNewestEntriesUpToItsCapacity) {
    net::NetworkLog log;
    EXPECT_EQ(log.capacity(), 1000u);
    for (int i = 0; i < 1003; ++i) log.add("entry " + std::to_string(i));
    const auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1000u);
    EXPECT_EQ(entries.front().text, "entry 3");
    EXPECT_EQ(entries.back().text, "entry 1002");
    EXPECT_EQ(entries.back().kind, 0);
}

TEST(NetworkLog, EntriesCarryTheLocalTimeOfAdding) {
    net::NetworkLog log;
    const auto before = std::chrono::system_clock::now();
    log.add("Object has been sent to pc : 45689");
    const auto entry = log.entries().at(0);
    EXPECT_GE(entry.added, before - std::chrono::seconds(1));
    const std::time_t when = std::chrono::system_clock::to_time_t(entry.added);
    std::tm local{};
    localtime_r(&when, &local);
    EXPECT_EQ(entry.localTime.tm_hour, local.tm_hour);
    EXPECT_EQ(entry.localTime.tm_min, local.tm_min);
    EXPECT_EQ(entry.localTime.tm_year, local.tm_year);
}

TEST(NetworkLog, ThreadsAddConcurrently) {
    net::NetworkLog log(50);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) log.add("x");
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(log.size(), 50u);
}

}  // namespace
