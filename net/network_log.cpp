#include "net/network_log.h"

namespace net {

void NetworkLog::add(std::string_view textUtf8) {
    Entry entry;
    entry.text.assign(textUtf8);
    entry.added = std::chrono::system_clock::now();
    const std::time_t when = std::chrono::system_clock::to_time_t(entry.added);
    localtime_r(&when, &entry.localTime);
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
    while (entries_.size() > capacity_) entries_.pop_front();
}

std::vector<NetworkLog::Entry> NetworkLog::entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

size_t NetworkLog::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

}  // namespace net
