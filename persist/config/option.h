#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/geometry.h"

namespace cmn {

// Numbered options, every one stored as text and converted on access with the "C" locale rules.
// A key that is absent or holds empty text reads as the caller's default.
template <class Key>
class option {
    static_assert(sizeof(Key) == sizeof(int), "options are keyed by int");

public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    struct value {
        static constexpr unsigned archiveVersion = 0;
        static constexpr bool archiveTracked = false;
        std::string text;
        template <class Archive>
        void serialize(Archive& ar, unsigned) {
            ar(text);
        }
        bool operator==(const value&) const = default;
    };

    // The stored text, or null when the key is absent.
    const std::string* text(Key key) const {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : &it->second.text;
    }
    void setText(Key key, std::string text) { entries_[key].text = std::move(text); }
    bool contains(Key key) const { return entries_.count(key) != 0; }
    void erase(Key key) { entries_.erase(key); }
    void clear() { entries_.clear(); }
    const std::map<Key, value>& entries() const { return entries_; }
    std::map<Key, value>& entries() { return entries_; }

    bool getBool(Key key, bool fallback = false) const;
    void setBool(Key key, bool v) { setText(key, v ? "1" : "0"); }
    char getChar(Key key, char fallback) const;
    void setChar(Key key, char v) { setText(key, std::string(1, v)); }
    int getInt(Key key, int fallback = 0) const;
    void setInt(Key key, int v) { setText(key, std::to_string(v)); }
    uint16_t getPort(Key key, uint16_t fallback) const;
    void setPort(Key key, uint16_t v) { setText(key, std::to_string(v)); }
    // Stored as "left top width height".
    platform::Rect getRect(Key key, platform::Rect fallback) const;
    void setRect(Key key, const platform::Rect& r);
    // Stored as "cx cy".
    platform::Size getSize(Key key, platform::Size fallback) const;
    void setSize(Key key, const platform::Size& s);
    // UTF-8 text, handed out as UTF-16.
    std::u16string getString(Key key, std::u16string_view fallback = {}) const;
    void setString(Key key, std::u16string_view v);

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(entries_);
    }

private:
    // The text when present and not empty.
    const std::string* usable(Key key) const {
        const std::string* t = text(key);
        return t && !t->empty() ? t : nullptr;
    }

    std::map<Key, value> entries_;
};

}  // namespace cmn

#include "persist/config/option_impl.h"
