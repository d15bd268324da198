#include "model/record_list.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace cb {

RecordList::RecordList() = default;
RecordList::RecordList(std::u16string_view name) { setName(name); }
RecordList::~RecordList() = default;

std::unique_ptr<RecordList> RecordList::snapshot() const {
    auto copy = std::make_unique<RecordList>();
    copyInto(*copy);
    return copy;
}

void RecordList::copyInto(RecordList& copy) const {
    copy.records_ = records_;
    copy.name_ = name_;
    copy.maxCount_ = maxCount_;
    copy.discardOld_ = discardOld_;
    copy.moveToFront_ = moveToFront_;
}

std::u16string RecordList::name() const { return platform::utf8ToUtf16(name_); }
void RecordList::setName(std::u16string_view name) { name_ = platform::utf16ToUtf8(name); }

// By index, not by iterator: an observer that registers or unregisters someone while being
// notified must not invalidate the loop.
template <class Call>
void RecordList::notify(Call call) {
    for (size_t i = 0; i < observers_.size(); ++i) call(*observers_[i]);
}

RecordPtr RecordList::at(size_t index) const {
    return index < records_.size() ? records_[index] : RecordPtr();
}

int RecordList::indexOf(const RecordPtr& record) const {
    for (size_t i = 0; i < records_.size(); ++i)
        if (records_[i].get() == record.get()) return static_cast<int>(i);
    return -1;
}

// Exactly one record per addition, even when the list is over its maximum (the maximum was
// lowered): lowering the maximum must not silently throw away many records at once.
void RecordList::discardOldestIfFull() {
    if (!discardOld_ || records_.empty() || records_.size() < maxCount()) return;
    const RecordPtr oldest = records_.back();
    notify([&](RecordListObserver& o) { o.recordRemoved(oldest); });
    records_.pop_back();
}

void RecordList::add(RecordPtr record) {
    if (!record) return;
    discardOldestIfFull();
    records_.push_front(record);
    notify([&](RecordListObserver& o) { o.recordInserted(record); });
}

bool RecordList::insert(RecordPtr record, size_t index) {
    if (!record || index > records_.size()) return false;
    discardOldestIfFull();
    index = std::min(index, records_.size());
    records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(index), record);
    notify([&](RecordListObserver& o) { o.recordInserted(record); });
    return true;
}

bool RecordList::moveToFront(size_t index) {
    if (index >= records_.size()) return false;
    notify([&](RecordListObserver& o) { o.recordMovedToFront(index); });
    RecordPtr record = std::move(records_[index]);
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
    records_.push_front(std::move(record));
    return true;
}

// Removal and insertion are announced separately, so a window follows a drag with the same two
// updates it already handles. A move never discards: rearranging a list that stands above its
// (lowered) maximum must not lose a record. The record taken out is the one at `from`, even when
// the same record stands in the list more than once (a search result can).
bool RecordList::move(size_t from, size_t to) {
    if (from >= records_.size() || to > records_.size() || from == to) return false;
    const RecordPtr record = records_[from];
    notify([&](RecordListObserver& o) { o.recordRemoved(record); });
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(from));
    const size_t target = std::min(from < to ? to - 1 : to, records_.size());
    records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(target), record);
    notify([&](RecordListObserver& o) { o.recordInserted(record); });
    return true;
}

bool RecordList::remove(const RecordPtr& record) {
    const int index = indexOf(record);
    if (index < 0) return false;
    // Keeps the record alive for the observers even if the list held its last reference.
    const RecordPtr held = records_[static_cast<size_t>(index)];
    notify([&](RecordListObserver& o) { o.recordRemoved(held); });
    records_.erase(records_.begin() + index);
    return true;
}

void RecordList::removeAt(size_t index) { remove(at(index)); }

void RecordList::clear() {
    records_.clear();
    notify([](RecordListObserver& o) { o.recordsCleared(); });
}

void RecordList::resetRecords(std::deque<RecordPtr> records) {
    records_.swap(records);
    notify([](RecordListObserver& o) { o.recordsReset(); });
}

void RecordList::addObserver(RecordListObserver* observer) { observers_.push_back(observer); }

void RecordList::removeObserver(RecordListObserver* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it != observers_.end()) observers_.erase(it);
}

}  // namespace cb
