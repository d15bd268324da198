#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/identity.h"
#include "model/record.h"
#include "persist/archive/class_traits.h"
#include "persist/archive/collections.h"
#include "persist/archive/error.h"

namespace cb {

// Follows one record list. Removal and move-to-front are announced before the change, so the
// observer can still find the record's row; everything else after it.
class RecordListObserver {
public:
    virtual void recordInserted(const RecordPtr& record) = 0;
    virtual void recordRemoved(const RecordPtr& record) = 0;
    virtual void recordMovedToFront(size_t oldIndex) = 0;
    virtual void recordsCleared() = 0;
    virtual void recordsReset() = 0;

protected:
    ~RecordListObserver() = default;
};

// A named list of shared records, newest first. The maximum count only bites when discarding is
// on: add never refuses a record, so callers that must respect the maximum ask canAdd first.
class RecordList {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;
    static constexpr uint32_t kMaxRecords = 1000;
    static constexpr uint32_t kDefaultMaxCount = 100;

    RecordList();
    explicit RecordList(std::u16string_view name);
    virtual ~RecordList();
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    std::u16string name() const;
    void setName(std::u16string_view name);
    const std::string& nameUtf8() const { return name_; }

    // The effective maximum. A file may carry a larger stored value; it is kept (and written back)
    // as it is, but never honoured beyond kMaxRecords.
    uint32_t maxCount() const { return maxCount_ < kMaxRecords ? maxCount_ : kMaxRecords; }
    void setMaxCount(uint32_t maxCount) {
        maxCount_ = maxCount < kMaxRecords ? maxCount : kMaxRecords;
    }
    bool discardOld() const { return discardOld_; }
    void setDiscardOld(bool discard) { discardOld_ = discard; }
    bool moveToFront() const { return moveToFront_; }
    void setMoveToFront(bool move) { moveToFront_ = move; }

    size_t count() const { return records_.size(); }
    // Null when index is out of range.
    RecordPtr at(size_t index) const;
    // First position holding that very record (not an equal one), or -1.
    int indexOf(const RecordPtr& record) const;
    const std::deque<RecordPtr>& records() const { return records_; }

    bool canAdd() const { return discardOld_ || records_.size() < maxCount(); }
    // Puts the record at the front, discarding at most one old record first. Ignores null.
    void add(RecordPtr record);
    // False (and nothing done) when index > count or the record is null.
    bool insert(RecordPtr record, size_t index);
    bool moveToFront(size_t index);
    // The record lands before the one that stood at `to`.
    bool move(size_t from, size_t to);
    bool remove(const RecordPtr& record);
    void removeAt(size_t index);
    void clear();

    // Observers are not owned and may be registered twice (they are then notified twice).
    void addObserver(RecordListObserver* observer);
    void removeObserver(RecordListObserver* observer);

    // A copy to write elsewhere: the same name, settings (as stored) and shared records, no
    // observers. Records never change once complete, so another thread may write the copy
    // while this list goes on changing.
    virtual std::unique_ptr<RecordList> snapshot() const;

    // Names the list in the tag of data we put on the clipboard.
    Identity identity() const { return identity_.value(); }
    static RecordList* resolve(Identity identity) {
        return LiveIdentity<RecordList>::resolve(identity);
    }

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(records_, name_, maxCount_, discardOld_, moveToFront_);
        if constexpr (Archive::isLoading) {
            // Everything that reads a list assumes its records exist.
            for (const auto& record : records_)
                if (!record)
                    throw cmn::archive::ArchiveError(cmn::archive::ArchiveError::Kind::Inconsistent,
                                                     "a record list holds a null record");
        }
    }

protected:
    // Everything snapshot() copies.
    void copyInto(RecordList& copy) const;
    // Replaces every record at once and announces it with a single recordsReset.
    void resetRecords(std::deque<RecordPtr> records);

private:
    void discardOldestIfFull();
    template <class Call>
    void notify(Call call);

    std::deque<RecordPtr> records_;
    std::vector<RecordListObserver*> observers_;
    std::string name_;
    uint32_t maxCount_ = kDefaultMaxCount;
    bool discardOld_ = true;
    bool moveToFront_ = false;
    LiveIdentity<RecordList> identity_{this};
};

}  // namespace cb

// Pointers to lists may point to search lists; the registry is filled where SearchList is defined.
template <>
struct cmn::archive::PolymorphicBase<cb::RecordList> {
    static constexpr bool enabled = true;
    static constexpr bool abstract = false;
    static const PolymorphicRegistry<cb::RecordList>& registry();
};
