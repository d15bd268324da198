// The history is written on a worker: the loop only takes a snapshot, one save runs at a time,
// changes during a save make one more save of the state then, and the exit's save waits for
// the running one.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "app/history_saver.h"
#include "model/history.h"
#include "model/record_list.h"
#include "platform/x11/poll_loop.h"

namespace {

using namespace std::chrono_literals;

// A write that waits until the test opens the gate, and keeps what each write saw.
class GatedWrite {
public:
    bool operator()(const cb::History& history) {
        if (++writing_ > 1) overlapped_ = true;
        std::string seen;
        for (const auto& r : history.at(0)->records()) seen += r->textUtf8();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++started_;
            changed_.notify_all();
            changed_.wait_for(lock, 10s, [this] { return open_; });
            writes_.push_back(seen);
        }
        --writing_;
        return true;
    }
    void open() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool waitStarted(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return started_ >= n; });
    }
    std::vector<std::string> writes() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }
    bool overlapped() const { return overlapped_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int started_ = 0;
    std::vector<std::string> writes_;
    std::atomic<int> writing_{0};
    std::atomic<bool> overlapped_{false};
};

class Saver : public ::testing::Test {
protected:
    void SetUp() override {
        history.resetToDefault();
        saver = std::make_unique<app::HistorySaver>(
            loop, history, [this](const cb::History& h) { return gate(h); }, [this](bool ok) { saved.push_back(ok); });
    }
    void TearDown() override {
        gate.open();  // nothing is left hanging
        saver.reset();
    }
    void add(const std::string& text) {
        cb::RecordPtr r(new cb::Record());
        r->setTextUtf8(text);
        history.listeningList()->add(r);
    }

    platform::x11::PollLoop loop;
    cb::History history;
    GatedWrite gate;
    std::vector<bool> saved;
    std::unique_ptr<app::HistorySaver> saver;
};

TEST_F(Saver, ChangesDuringASaveMakeOneMoreSaveOfTheStateThen) {
    add("a");
    saver->save();  // returns while the worker writes
    ASSERT_TRUE(gate.waitStarted(1));
    add("b");
    saver->save();
    add("c");
    saver->save();
    EXPECT_TRUE(saver->saving());
    gate.open();
    ASSERT_TRUE(loop.runUntil([&] { return saved.size() == 2; }, 10s));
    loop.runUntil([] { return false; }, 100ms);  // and no third
    EXPECT_EQ(gate.writes(), (std::vector<std::string>{"a", "cba"}));
    EXPECT_EQ(saved, (std::vector<bool>{true, true}));
    EXPECT_FALSE(saver->saving());
    EXPECT_FALSE(gate.overlapped());
}

TEST_F(Saver, TheExitsSaveWaitsForTheRunningOneThenWritesTheLastState) {
    add("a");
    saver->save();
    ASSERT_TRUE(gate.waitStarted(1));
    add("b");
    std::thread opener([&] {
        std::this_thread::sleep_for(200ms);
        gate.open();
    });
    EXPECT_TRUE(saver->saveAndWait());
    opener.join();
    EXPECT_EQ(gate.writes(), (std::vector<std::string>{"a", "ba"}));
    EXPECT_FALSE(gate.overlapped());
    // The running save's late report changes nothing.
    loop.runUntil([] { return false; }, 100ms);
    EXPECT_TRUE(saved.empty());
    EXPECT_FALSE(saver->saving());
}

}  // namespace
