#include "model/search_list.h"

#include <algorithm>
#include <array>
#include <cstddef>

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

namespace {

using ByteMap = std::array<unsigned char, 256>;

// Case folding of the "C" locale: only A-Z and a-z. A locale-aware toupper would fold Latin-1
// bytes that are parts of UTF-8 sequences.
constexpr ByteMap makeByteMap(bool foldCase) {
    ByteMap map{};
    for (int c = 0; c < 256; ++c)
        map[c] = static_cast<unsigned char>(foldCase && c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return map;
}
constexpr ByteMap kSameBytes = makeByteMap(false);
constexpr ByteMap kUpperCase = makeByteMap(true);

// Substring search over mapped bytes (Horspool): the skip table is built once per refresh, so
// the scan itself touches each record's text in place and allocates nothing.
class TextMatcher {
public:
    TextMatcher(std::string_view needle, bool matchCase)
        : map_(matchCase ? kSameBytes : kUpperCase), length_(needle.size()) {
        needle_.resize(length_);
        for (size_t i = 0; i < length_; ++i)
            needle_[i] = static_cast<char>(map_[static_cast<unsigned char>(needle[i])]);
        std::array<size_t, 256> skipMapped;
        skipMapped.fill(length_);
        for (size_t i = 0; i + 1 < length_; ++i)
            skipMapped[static_cast<unsigned char>(needle_[i])] = length_ - 1 - i;
        // Indexed by the raw byte, so the step to the next window costs one lookup, not two.
        for (size_t c = 0; c < 256; ++c) skip_[c] = skipMapped[map_[c]];
    }

    bool matches(std::string_view text) const {
        if (length_ == 0 || text.size() < length_) return false;
        const auto* hay = reinterpret_cast<const unsigned char*>(text.data());
        const auto* needle = reinterpret_cast<const unsigned char*>(needle_.data());
        const size_t last = length_ - 1;
        const size_t end = text.size() - length_;
        for (size_t at = 0; at <= end;) {
            const unsigned char tail = hay[at + last];
            if (map_[tail] == needle[last]) {
                size_t i = 0;
                while (i < last && map_[hay[at + i]] == needle[i]) ++i;
                if (i == last) return true;
            }
            at += skip_[tail];
        }
        return false;
    }

private:
    const ByteMap& map_;
    size_t length_;
    std::string needle_;
    std::array<size_t, 256> skip_;
};

}  // namespace


void SearchList::refresh(const cb::History& history) {
    std::deque<cb::RecordPtr> results;
    const size_t limit = maxCount();
    const std::string& needle = criteria_.textUtf8();
    if (!needle.empty() && limit > 0) {
        const TextMatcher matcher(needle, criteria_.matchCase());
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
