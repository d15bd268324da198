#include "model/text_matcher.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cb {

namespace {
bool isLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

TextMatcher::TextMatcher(std::string_view needle, bool matchCase)
    : want_(needle.size(), '\0'), fold_(needle.size(), '\0') {
    for (size_t i = 0; i < needle.size(); ++i) {
        const auto c = static_cast<unsigned char>(needle[i]);
        const bool fold = !matchCase && isLetter(c);
        fold_[i] = static_cast<char>(fold ? 0x20 : 0);
        want_[i] = static_cast<char>(fold ? (c | 0x20) : c);
    }
}

bool TextMatcher::matchesAt(const unsigned char* at) const {
    const auto* want = reinterpret_cast<const unsigned char*>(want_.data());
    const auto* fold = reinterpret_cast<const unsigned char*>(fold_.data());
    for (size_t i = 0; i < want_.size(); ++i)
        if ((at[i] | fold[i]) != want[i]) return false;
    return true;
}

bool TextMatcher::matches(std::string_view text) const {
    const size_t n = want_.size();
    if (n == 0 || text.size() < n) return false;
    const auto* hay = reinterpret_cast<const unsigned char*>(text.data());
    const size_t positions = text.size() - n + 1;  // where the needle may start
    size_t at = 0;
#if defined(__SSE2__)
    constexpr size_t kLanes = 16;
    if (positions >= kLanes) {
        const auto broadcast = [](char c) { return _mm_set1_epi8(c); };
        const __m128i firstWant = broadcast(want_.front()), firstFold = broadcast(fold_.front());
        const __m128i lastWant = broadcast(want_.back()), lastFold = broadcast(fold_.back());
        // Lanes of the block at `start` that may hold the needle, from its first and last byte.
        const auto candidates = [&](size_t start) {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + start));
            const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + start + n - 1));
            const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(first, firstFold), firstWant),
                                              _mm_cmpeq_epi8(_mm_or_si128(last, lastFold), lastWant));
            return static_cast<unsigned>(_mm_movemask_epi8(hit));
        };
        const auto anyMatch = [&](size_t start, unsigned lanes) {
            for (; lanes != 0; lanes &= lanes - 1)
                if (matchesAt(hay + start + static_cast<size_t>(__builtin_ctz(lanes)))) return true;
            return false;
        };
        for (; at + kLanes <= positions; at += kLanes)
            if (unsigned lanes = candidates(at); lanes != 0 && anyMatch(at, lanes)) return true;
        if (at == positions) return false;
        // The last positions: one more block that ends at the last one, without the lanes
        // already tested.
        const size_t start = positions - kLanes;
        const unsigned lanes = candidates(start) & ~((1u << (at - start)) - 1);
        return lanes != 0 && anyMatch(start, lanes);
    }
#endif
    for (; at < positions; ++at)
        if (matchesAt(hay + at)) return true;
    return false;
}

}  // namespace cb
