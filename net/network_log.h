#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// The in-memory log of finished and failed transfers: the program keeps no log file. Bounded,
// oldest entries dropped first; any thread may add. The program that shows it owns it and hands
// it to its transfers.
class NetworkLog {
public:
    static constexpr size_t kDefaultCapacity = 1000;

    struct Entry {
        int32_t kind = 0;  // always 0
        std::string text;  // UTF-8
        std::chrono::system_clock::time_point added;
        std::tm localTime{};  // `added` as local time
    };

    explicit NetworkLog(size_t capacity = kDefaultCapacity) : capacity_(capacity) {}
    NetworkLog(const NetworkLog&) = delete;
    NetworkLog& operator=(const NetworkLog&) = delete;

    void add(std::string_view textUtf8);
    // Oldest first.
    std::vector<Entry> entries() const;
    size_t size() const;
    size_t capacity() const { return capacity_; }

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
};

}  // namespace net
