#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "model/record_list.h"
#include "persist/archive/collections.h"
#include "persist/archive/error.h"

namespace cb {

// Follows the set of lists. listRemoved comes before the list is taken out; the others after.
class HistoryObserver {
public:
    virtual void listInserted(RecordList* list, size_t index) = 0;
    virtual void listRemoved(RecordList* list) = 0;
    virtual void listeningListChanged(RecordList* oldList, RecordList* newList) = 0;
    virtual void listChanged(RecordList* list) = 0;
    virtual void listMoved(int from, int to) = 0;

protected:
    ~HistoryObserver() = default;
};

// Every record list of the program in tab order, and the one that receives captured records.
// The history owns every list it refers to: those of lists, of pendingLists, and the listening
// list, each once, however often a loaded file mentions it.
class History {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    static constexpr int32_t kDefaultMaxLists = 10;
    static constexpr int32_t kMaxLists = 1000;

    // An empty history: no lists, no listening list.
    History();
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    size_t count() const { return lists_.size(); }
    RecordList* at(size_t index) const { return index < lists_.size() ? lists_[index] : nullptr; }
    int indexOf(const RecordList* list) const;
    const std::vector<RecordList*>& lists() const { return lists_; }

    // On true the history owns the list. False when the history is full, index > count, or the
    // list is null or already held; the caller keeps (and usually discards) it then.
    bool insertList(RecordList* list, size_t index);
    // False when the list is not in lists. Without deleteList the caller takes the list over.
    // Removing the listening list leaves the history without one (announced as a change).
    bool removeList(RecordList* list, bool deleteList);

    RecordList* listeningList() const { return listeningList_; }
    // Null or one of lists; false for anything else.
    bool setListeningList(RecordList* list);
    void notifyListChanged(RecordList* list);
    // The list lands before the one that stood at `to`, so it cannot reach the end in one step.
    bool moveList(int from, int to);
    // Exact, case-sensitive comparison of the names as wide text.
    RecordList* findListByName(std::u16string_view name) const;

    void addObserver(HistoryObserver* observer);
    void removeObserver(HistoryObserver* observer);

    // A copy to write on another thread while this history goes on changing: every list's
    // snapshot, in the same places (tab order, listening, pending), the same stored values, no
    // observers.
    std::unique_ptr<History> snapshot() const;

    // Drops every list without notifications and builds "Main" (listening) and "Search".
    void resetToDefault();

    // The effective maximum number of lists.
    int32_t maxLists() const { return maxLists_ < kMaxLists ? maxLists_ : kMaxLists; }
    void setMaxLists(int32_t maxLists) { maxLists_ = maxLists; }
    // Opaque value carried through the history file.
    uint32_t reserved() const { return reserved_; }

    // Lists a loaded file carried to replace lists; empty otherwise.
    const std::vector<RecordList*>& pendingLists() const { return pendingLists_; }
    // Makes pendingLists the lists: announces every pending list that was not in lists with
    // listInserted (at its new position) after the replacement, then empties pendingLists.
    // Lists dropped by the replacement are deleted, unless one is the listening list.
    void applyPendingLists();

    // Makes a loaded history usable: a list that stands twice keeps its first place; no lists
    // at all gives the default history; a listening list that is null or not one of the lists
    // becomes the first list that is not a search list, and a new "Main" list is put in front
    // when there is none. Returns true when anything had to be repaired. No notifications:
    // this runs before anybody observes the history.
    bool repairAfterLoad();

    // Loading replaces the whole content, without notifications, and only once the archive
    // has been read successfully: a failed load leaves the history as it was.
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        if constexpr (Archive::isLoading) {
            uint32_t reserved = 0;
            std::vector<RecordList*> lists;
            RecordList* listening = nullptr;
            uint32_t maxLists = 0;
            std::vector<RecordList*> pending;
            // No history holds more than kMaxLists lists; refusing more also keeps the
            // list-by-list checks below and after loading from growing with the square.
            auto checkCount = [](const std::vector<RecordList*>& stored) {
                if (stored.size() > static_cast<size_t>(kMaxLists))
                    throw cmn::archive::ArchiveError(
                        cmn::archive::ArchiveError::Kind::LimitExceeded,
                        "more lists than a history holds");
            };
            ar(reserved, lists);
            checkCount(lists);
            ar(listening, maxLists, pending);
            checkCount(pending);
            for (const RecordList* list : lists)
                if (list == nullptr)
                    throw cmn::archive::ArchiveError(cmn::archive::ArchiveError::Kind::Inconsistent,
                                                     "a null list in the history");
            std::vector<std::unique_ptr<RecordList>> owned;
            owned.reserve(lists.size() + pending.size() + 1);
            auto own = [&](RecordList* list) {
                if (list == nullptr) return;
                for (const auto& o : owned)
                    if (o.get() == list) return;
                ar.adopt(list);
                owned.emplace_back(list);  // cannot throw: reserved above
            };
            for (RecordList* list : lists) own(list);
            own(listening);
            for (RecordList* list : pending) own(list);
            replaceContent(std::move(owned), std::move(lists), listening, std::move(pending),
                           reserved, static_cast<int32_t>(maxLists));
        } else {
            uint32_t maxLists = static_cast<uint32_t>(maxLists_);
            ar(reserved_, lists_, listeningList_, maxLists, pendingLists_);
        }
    }

private:
    void replaceContent(std::vector<std::unique_ptr<RecordList>> owned,
                        std::vector<RecordList*> lists, RecordList* listening,
                        std::vector<RecordList*> pending, uint32_t reserved, int32_t maxLists);
    bool isReferenced(const RecordList* list) const;
    // Deletes the list, or hands it to the caller, once nothing refers to it any more.
    RecordList* releaseIfUnreferenced(RecordList* list, bool deleteList);
    template <class Call>
    void notify(Call call);

    std::vector<RecordList*> lists_;
    std::vector<RecordList*> pendingLists_;
    std::vector<HistoryObserver*> observers_;
    RecordList* listeningList_ = nullptr;
    uint32_t reserved_ = 0xFFFFFFFFu;
    int32_t maxLists_ = kDefaultMaxLists;
    // Every list of lists_, pendingLists_ and listeningList_, once.
    std::vector<std::unique_ptr<RecordList>> owned_;
};

}  // namespace cb
