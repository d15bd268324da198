#include "model/history.h"

#include <algorithm>
#include <map>

#include "model/search_list.h"
#include "platform/text_codec.h"

namespace cb {

History::History() = default;
History::~History() = default;

template <class Call>
void History::notify(Call call) {
    for (size_t i = 0; i < observers_.size(); ++i) call(*observers_[i]);
}

int History::indexOf(const RecordList* list) const {
    for (size_t i = 0; i < lists_.size(); ++i)
        if (lists_[i] == list) return static_cast<int>(i);
    return -1;
}

bool History::isReferenced(const RecordList* list) const {
    return listeningList_ == list ||
           std::find(lists_.begin(), lists_.end(), list) != lists_.end() ||
           std::find(pendingLists_.begin(), pendingLists_.end(), list) != pendingLists_.end();
}

RecordList* History::releaseIfUnreferenced(RecordList* list, bool deleteList) {
    if (isReferenced(list)) return nullptr;
    auto it = std::find_if(owned_.begin(), owned_.end(),
                           [&](const auto& o) { return o.get() == list; });
    if (it == owned_.end()) return nullptr;
    RecordList* released = it->release();
    owned_.erase(it);
    if (deleteList) {
        delete released;
        return nullptr;
    }
    return released;
}

bool History::insertList(RecordList* list, size_t index) {
    if (list == nullptr || index > lists_.size()) return false;
    if (static_cast<int64_t>(lists_.size()) >= maxLists()) return false;
    if (std::any_of(owned_.begin(), owned_.end(), [&](const auto& o) { return o.get() == list; }))
        return false;
    owned_.reserve(owned_.size() + 1);
    lists_.insert(lists_.begin() + static_cast<std::ptrdiff_t>(index), list);
    owned_.emplace_back(list);
    notify([&](HistoryObserver& o) { o.listInserted(list, index); });
    return true;
}

bool History::removeList(RecordList* list, bool deleteList) {
    if (list == nullptr || indexOf(list) < 0) return false;
    notify([&](HistoryObserver& o) { o.listRemoved(list); });
    std::erase(lists_, list);
    std::erase(pendingLists_, list);
    if (listeningList_ == list) {
        listeningList_ = nullptr;
        notify([&](HistoryObserver& o) { o.listeningListChanged(list, nullptr); });
    }
    releaseIfUnreferenced(list, deleteList);
    return true;
}

bool History::setListeningList(RecordList* list) {
    if (list == listeningList_) return true;
    if (list != nullptr && indexOf(list) < 0) return false;
    RecordList* old = listeningList_;
    listeningList_ = list;
    notify([&](HistoryObserver& o) { o.listeningListChanged(old, list); });
    return true;
}

void History::notifyListChanged(RecordList* list) {
    notify([&](HistoryObserver& o) { o.listChanged(list); });
}

bool History::moveList(int from, int to) {
    const int n = static_cast<int>(lists_.size());
    if (from < 0 || to < 0 || from >= n || to >= n || from == to) return false;
    RecordList* list = lists_[static_cast<size_t>(from)];
    lists_.erase(lists_.begin() + from);
    lists_.insert(lists_.begin() + (from < to ? to - 1 : to), list);
    notify([&](HistoryObserver& o) { o.listMoved(from, to); });
    return true;
}

RecordList* History::findListByName(std::u16string_view name) const {
    for (RecordList* list : lists_)
        if (list->name() == name) return list;
    return nullptr;
}

void History::addObserver(HistoryObserver* observer) { observers_.push_back(observer); }

void History::removeObserver(HistoryObserver* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it != observers_.end()) observers_.erase(it);
}

std::unique_ptr<History> History::snapshot() const {
    auto copy = std::make_unique<History>();
    std::map<const RecordList*, RecordList*> copies;
    for (const auto& list : owned_) {
        copy->owned_.push_back(list->snapshot());
        copies[list.get()] = copy->owned_.back().get();
    }
    auto mapped = [&](const RecordList* list) -> RecordList* {
        if (list == nullptr) return nullptr;
        auto it = copies.find(list);
        return it == copies.end() ? nullptr : it->second;
    };
    for (const RecordList* list : lists_) copy->lists_.push_back(mapped(list));
    for (const RecordList* list : pendingLists_) copy->pendingLists_.push_back(mapped(list));
    copy->listeningList_ = mapped(listeningList_);
    copy->reserved_ = reserved_;
    copy->maxLists_ = maxLists_;
    return copy;
}

void History::resetToDefault() {
    lists_.clear();
    pendingLists_.clear();
    listeningList_ = nullptr;
    owned_.clear();

    auto main = std::make_unique<RecordList>(u"Main");
    main->setMoveToFront(true);
    auto search = std::make_unique<SearchList>(u"Search");
    lists_ = {main.get(), search.get()};
    listeningList_ = main.get();
    owned_.push_back(std::move(main));
    owned_.push_back(std::move(search));
    maxLists_ = kDefaultMaxLists;
}

bool History::repairAfterLoad() {
    bool repaired = false;
    std::vector<RecordList*> unique;
    for (RecordList* list : lists_)
        if (std::find(unique.begin(), unique.end(), list) == unique.end()) unique.push_back(list);
    if (unique.size() != lists_.size()) {
        lists_ = std::move(unique);
        repaired = true;
    }
    if (lists_.empty()) {
        resetToDefault();
        return true;
    }
    if (listeningList_ != nullptr && indexOf(listeningList_) >= 0) return repaired;

    RecordList* old = listeningList_;
    auto firstPlain = std::find_if(lists_.begin(), lists_.end(), [](RecordList* list) {
        return dynamic_cast<SearchList*>(list) == nullptr;
    });
    if (firstPlain != lists_.end()) {
        listeningList_ = *firstPlain;
    } else {
        auto main = std::make_unique<RecordList>(u"Main");
        main->setMoveToFront(true);
        listeningList_ = main.get();
        lists_.insert(lists_.begin(), main.get());
        owned_.push_back(std::move(main));
    }
    if (old != nullptr) releaseIfUnreferenced(old, true);
    return true;
}

void History::applyPendingLists() {
    if (pendingLists_.empty()) return;
    std::vector<std::pair<RecordList*, size_t>> arrived;
    for (size_t i = 0; i < pendingLists_.size(); ++i)
        if (indexOf(pendingLists_[i]) < 0) arrived.emplace_back(pendingLists_[i], i);

    std::vector<RecordList*> dropped;
    for (RecordList* list : lists_)
        if (std::find(pendingLists_.begin(), pendingLists_.end(), list) == pendingLists_.end())
            dropped.push_back(list);
    lists_ = std::move(pendingLists_);
    pendingLists_.clear();
    for (RecordList* list : dropped) releaseIfUnreferenced(list, true);

    // Not a structured binding: lambdas may not capture those before clang 16.
    for (const auto& entry : arrived)
        notify([&](HistoryObserver& o) { o.listInserted(entry.first, entry.second); });
}

void History::replaceContent(std::vector<std::unique_ptr<RecordList>> owned,
                             std::vector<RecordList*> lists, RecordList* listening,
                             std::vector<RecordList*> pending, uint32_t reserved,
                             int32_t maxLists) {
    lists_ = std::move(lists);
    pendingLists_ = std::move(pending);
    listeningList_ = listening;
    reserved_ = reserved;
    maxLists_ = maxLists;
    // The previous lists go last, after nothing refers to them any more.
    owned_.swap(owned);
}

}  // namespace cb
