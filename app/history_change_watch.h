#pragma once

// Hears every change of the history and of each of its lists, whichever window or dialog made
// it, and says so once per change: the program saves a moment later.

#include <functional>
#include <vector>

#include "model/history.h"
#include "model/record_list.h"

namespace app {

class HistoryChangeWatch final : cb::HistoryObserver {
public:
    HistoryChangeWatch(cb::History& history, std::function<void()> changed);
    ~HistoryChangeWatch();
    HistoryChangeWatch(const HistoryChangeWatch&) = delete;
    HistoryChangeWatch& operator=(const HistoryChangeWatch&) = delete;

private:
    // One per watched list, so that the list it hears is known.
    class ListWatch;

    void watch(cb::RecordList* list);
    void unwatch(cb::RecordList* list);

    void listInserted(cb::RecordList* list, size_t index) override;
    void listRemoved(cb::RecordList* list) override;
    void listeningListChanged(cb::RecordList* oldList, cb::RecordList* newList) override;
    void listChanged(cb::RecordList* list) override;
    void listMoved(int from, int to) override;

    cb::History& history_;
    std::function<void()> changed_;
    std::vector<std::unique_ptr<ListWatch>> lists_;
};

}  // namespace app
