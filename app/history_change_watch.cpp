#include "app/history_change_watch.h"

#include <algorithm>

namespace app {

class HistoryChangeWatch::ListWatch final : public cb::RecordListObserver {
public:
    ListWatch(cb::RecordList& list, const std::function<void()>& changed) : list_(list), changed_(changed) {
        list_.addObserver(this);
    }
    ~ListWatch() { list_.removeObserver(this); }
    ListWatch(const ListWatch&) = delete;
    ListWatch& operator=(const ListWatch&) = delete;

    const cb::RecordList& list() const { return list_; }

private:
    void recordInserted(const cb::RecordPtr&) override { changed_(); }
    void recordRemoved(const cb::RecordPtr&) override { changed_(); }
    void recordMovedToFront(size_t) override { changed_(); }
    void recordsCleared() override { changed_(); }
    void recordsReset() override { changed_(); }

    cb::RecordList& list_;
    const std::function<void()>& changed_;
};

HistoryChangeWatch::HistoryChangeWatch(cb::History& history, std::function<void()> changed)
    : history_(history), changed_(std::move(changed)) {
    for (cb::RecordList* list : history_.lists())
        watch(list);
    history_.addObserver(this);
}

HistoryChangeWatch::~HistoryChangeWatch() {
    history_.removeObserver(this);
    lists_.clear();
}

void HistoryChangeWatch::watch(cb::RecordList* list) {
    if (list != nullptr)
        lists_.push_back(std::make_unique<ListWatch>(*list, changed_));
}

void HistoryChangeWatch::unwatch(cb::RecordList* list) {
    std::erase_if(lists_, [list](const std::unique_ptr<ListWatch>& w) { return &w->list() == list; });
}

void HistoryChangeWatch::listInserted(cb::RecordList* list, size_t) {
    watch(list);
    changed_();
}

void HistoryChangeWatch::listRemoved(cb::RecordList* list) {
    // Told before the list goes: it may be deleted right after.
    unwatch(list);
    changed_();
}

void HistoryChangeWatch::listeningListChanged(cb::RecordList*, cb::RecordList*) { changed_(); }
void HistoryChangeWatch::listChanged(cb::RecordList*) { changed_(); }
void HistoryChangeWatch::listMoved(int, int) { changed_(); }

}  // namespace app
