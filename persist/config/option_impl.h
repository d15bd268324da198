#pragma once

#include <limits>
#include <locale>
#include <sstream>

#include "platform/text_codec.h"

namespace cmn {

namespace option_detail {
// Parses the leading values as the standard stream operators of the "C" locale do.
template <class... T>
bool parse(const std::string& text, T&... out) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    (in >> ... >> out);
    return !in.fail();
}

inline bool fitsInt(long long v) {
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}
}  // namespace option_detail

template <class Key>
bool option<Key>::getBool(Key key, bool fallback) const {
    const std::string* t = usable(key);
    // Read as a bool, not as a number: only "1" and "0" are values, anything else is no value.
    bool v = false;
    if (!t || !option_detail::parse(*t, v)) return fallback;
    return v;
}

template <class Key>
char option<Key>::getChar(Key key, char fallback) const {
    const std::string* t = usable(key);
    char c = 0;
    if (!t || !option_detail::parse(*t, c)) return fallback;
    return c;
}

template <class Key>
int option<Key>::getInt(Key key, int fallback) const {
    const std::string* t = usable(key);
    int v = 0;
    if (!t || !option_detail::parse(*t, v)) return fallback;
    return v;
}

template <class Key>
uint16_t option<Key>::getPort(Key key, uint16_t fallback) const {
    const std::string* t = usable(key);
    unsigned short v = 0;
    if (!t || !option_detail::parse(*t, v)) return fallback;
    return v;
}

template <class Key>
platform::Rect option<Key>::getRect(Key key, platform::Rect fallback) const {
    const std::string* t = usable(key);
    int left = 0, top = 0, width = 0, height = 0;
    if (!t || !option_detail::parse(*t, left, top, width, height)) return fallback;
    // The file is untrusted: a corner beyond the range of int is no rectangle.
    const long long right = static_cast<long long>(left) + width;
    const long long bottom = static_cast<long long>(top) + height;
    if (!option_detail::fitsInt(right) || !option_detail::fitsInt(bottom)) return fallback;
    return platform::Rect{left, top, static_cast<int>(right), static_cast<int>(bottom)};
}

template <class Key>
void option<Key>::setRect(Key key, const platform::Rect& r) {
    // Rect::width() would overflow for corners far apart; such a text reads back as no value.
    const long long width = static_cast<long long>(r.right) - r.left;
    const long long height = static_cast<long long>(r.bottom) - r.top;
    setText(key, std::to_string(r.left) + ' ' + std::to_string(r.top) + ' ' +
                     std::to_string(width) + ' ' + std::to_string(height));
}

template <class Key>
platform::Size option<Key>::getSize(Key key, platform::Size fallback) const {
    const std::string* t = usable(key);
    int cx = 0, cy = 0;
    if (!t || !option_detail::parse(*t, cx, cy)) return fallback;
    return platform::Size{cx, cy};
}

template <class Key>
void option<Key>::setSize(Key key, const platform::Size& s) {
    setText(key, std::to_string(s.cx) + ' ' + std::to_string(s.cy));
}

template <class Key>
std::u16string option<Key>::getString(Key key, std::u16string_view fallback) const {
    const std::string* t = usable(key);
    if (!t) return std::u16string(fallback);
    return platform::utf8ToUtf16(*t);
}

template <class Key>
void option<Key>::setString(Key key, std::u16string_view v) {
    setText(key, platform::utf16ToUtf8(v));
}

}  // namespace cmn
