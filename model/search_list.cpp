#include "model/search_list.h"

#include <algorithm>
#include <cstddef>

#include "model/text_matcher.h"
#include "persist/archive/polymorphic.h"
#include "platform/text_codec.h"

const cmn::archive::PolymorphicRegistry<cb::RecordList>&
cmn::archive::PolymorphicBase<cb::RecordList>::registry() {
    static const auto registry = [] {
        PolymorphicRegistry<cb::RecordList> r;
        r.add<SearchList>("SearchList");
        return r;
    }();
    return registry;
}

std::u16string SearchCriteria::text() const { return platform::utf8ToUtf16(text_); }

std::unique_ptr<cb::RecordList> SearchList::snapshot() const {
    auto copy = std::make_unique<SearchList>();
    copyInto(*copy);
    copy->criteria_.text_ = criteria_.text_;
    copy->criteria_.reserved_ = criteria_.reserved_;
    copy->criteria_.matchCase_ = criteria_.matchCase_;
    return copy;
}

void SearchCriteria::setText(std::u16string_view text) {
    // Compared as wide text: two byte strings that decode alike (malformed UTF-8) are one text.
    if (this->text() == text) return;
    text_ = platform::utf16ToUtf8(text);
    notifyChanged();
}

void SearchCriteria::setMatchCase(bool matchCase) {
    if (matchCase == matchCase_) return;
    matchCase_ = matchCase;
    notifyChanged();
}

void SearchCriteria::notifyChanged() {
    for (size_t i = 0; i < observers_.size(); ++i) observers_[i]->criteriaChanged(*this);
}

void SearchCriteria::addObserver(SearchCriteriaObserver* observer) {
    observers_.push_back(observer);
}

void SearchCriteria::removeObserver(SearchCriteriaObserver* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it != observers_.end()) observers_.erase(it);
}

void SearchList::refresh(const cb::History& history) {
    std::deque<cb::RecordPtr> results;
    const size_t limit = maxCount();
    const std::string& needle = criteria_.textUtf8();
    if (!needle.empty() && limit > 0) {
        const cb::TextMatcher matcher(needle, criteria_.matchCase());
        for (const cb::RecordList* list : history.lists()) {
            if (results.size() >= limit) break;
            if (dynamic_cast<const SearchList*>(list) != nullptr) continue;
            for (const cb::RecordPtr& record : list->records()) {
                if (matcher.matches(record->textUtf8())) {
                    results.push_back(record);
                    if (results.size() >= limit) break;
                }
            }
        }
    }
    resetRecords(std::move(results));
}
