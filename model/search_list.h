#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/history.h"
#include "model/record_list.h"

class SearchCriteria;

class SearchCriteriaObserver {
public:
    virtual void criteriaChanged(const SearchCriteria& criteria) = 0;

protected:
    ~SearchCriteriaObserver() = default;
};

// What a search list looks for. Observers hear only of real changes, so the window's debounce
// timer is not restarted by a text that did not change.
class SearchCriteria {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    SearchCriteria() = default;
    SearchCriteria(const SearchCriteria&) = delete;
    SearchCriteria& operator=(const SearchCriteria&) = delete;

    std::u16string text() const;
    const std::string& textUtf8() const { return text_; }
    void setText(std::u16string_view text);
    bool matchCase() const { return matchCase_; }
    void setMatchCase(bool matchCase);
    // Carried through files, nothing else.
    bool reserved() const { return reserved_; }

    void addObserver(SearchCriteriaObserver* observer);
    void removeObserver(SearchCriteriaObserver* observer);

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(text_, reserved_, matchCase_);
    }

private:
    friend class SearchList;  // its snapshot copies the criteria
    void notifyChanged();

    std::vector<SearchCriteriaObserver*> observers_;
    std::string text_;
    bool reserved_ = false;
    bool matchCase_ = false;
};

// A record list holding the results of a text search over the other lists. The results are
// shared references and change only at the next refresh.
class SearchList : public cb::RecordList {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;

    SearchList() = default;
    explicit SearchList(std::u16string_view name) : RecordList(name) {}

    SearchCriteria& criteria() { return criteria_; }
    const SearchCriteria& criteria() const { return criteria_; }

    // Scans every list that is not a search list, in history order and newest record first,
    // up to the effective maximum; then replaces the results and announces recordsReset once.
    void refresh(const cb::History& history);

    std::unique_ptr<cb::RecordList> snapshot() const override;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar.template baseObject<cb::RecordList>(*this);
        ar(criteria_);
    }

private:
    SearchCriteria criteria_;
};
