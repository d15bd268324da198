#include "platform/clipboard_formats.h"

#include <mutex>
#include <vector>

namespace platform {

namespace {

constexpr std::u16string_view kProgramFormats[] = {
    u"HTML Format",          u"Rich Text Format",     u"Csv",
    u"Embedded Object",      u"Preferred DropEffect", u"Shell IDList Array",
    u"Shell Object Offsets", u"Quillet Professional Tag", u"Clipboard Viewer Ignore",
    u"PNG",
};

char16_t foldAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    return true;
}

class FormatTable {
public:
    FormatTable() {
        for (auto name : kProgramFormats) names_.emplace_back(name);
    }

    ClipFormat add(std::u16string_view name) {
        if (name.empty()) return 0;
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i < names_.size(); ++i)
            if (sameName(names_[i], name)) return number(i);
        if (names_.size() >= size_t{0x10000 - kFirstRegisteredFormat}) return 0;
        names_.emplace_back(name);
        return number(names_.size() - 1);
    }

    std::u16string name(ClipFormat format) {
        if (format < kFirstRegisteredFormat) return {};
        std::lock_guard lock(mutex_);
        const size_t i = format - kFirstRegisteredFormat;
        return i < names_.size() ? names_[i] : std::u16string();
    }

private:
    static ClipFormat number(size_t index) {
        return static_cast<ClipFormat>(kFirstRegisteredFormat + index);
    }

    std::mutex mutex_;
    std::vector<std::u16string> names_;
};

FormatTable& table() {
    static FormatTable instance;
    return instance;
}

}  // namespace

ClipFormat registerClipboardFormat(std::u16string_view name) { return table().add(name); }

std::u16string clipboardFormatName(ClipFormat format) { return table().name(format); }

const RegisteredFormats& registeredFormats() {
    static const RegisteredFormats formats{
        registerClipboardFormat(kProgramFormats[0]), registerClipboardFormat(kProgramFormats[1]),
        registerClipboardFormat(kProgramFormats[2]), registerClipboardFormat(kProgramFormats[3]),
        registerClipboardFormat(kProgramFormats[4]), registerClipboardFormat(kProgramFormats[5]),
        registerClipboardFormat(kProgramFormats[6]), registerClipboardFormat(kProgramFormats[7]),
        registerClipboardFormat(kProgramFormats[8]), registerClipboardFormat(kProgramFormats[9]),
    };
    return formats;
}

}  // namespace platform
