#include "model/text_item.h"

#include <cstring>

#include "platform/clipboard_formats.h"
#include "platform/global_memory.h"
#include "platform/text_codec.h"

namespace cb {

using namespace platform;

std::u16string TextItem::text() const { return utf8ToUtf16(text_); }
void TextItem::setText(std::u16string_view text) { text_ = utf16ToUtf8(text); }

std::string TextItem::renderedBytes(ClipFormat format) const {
    if (format == CF_UNICODETEXT) {
        const std::u16string wide = text();
        std::string bytes;
        bytes.reserve(2 * (wide.size() + 1));
        for (char16_t c : wide) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        bytes.append(2, '\0');
        return bytes;
    }
    if (format == CF_TEXT) {
        std::string bytes = utf16ToAnsi(text());
        bytes.push_back('\0');
        return bytes;
    }
    return {};
}

void TextItem::appendFormats(std::vector<FormatPair>& formats) const {
    formats.push_back({CF_UNICODETEXT, TYMED_HGLOBAL});
    formats.push_back({CF_TEXT, TYMED_HGLOBAL});
}

HResult TextItem::getData(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    const std::string bytes = renderedBytes(request.cfFormat);
    return renderNewGlobal(bytes.data(), bytes.size(), medium);
}

HResult TextItem::getDataHere(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    const std::string bytes = renderedBytes(request.cfFormat);
    return renderIntoGlobal(bytes.data(), bytes.size(), medium, E_FAIL);
}

bool TextItem::readFrom(IDataObject& source) {
    ScopedMedium medium;
    if (!request(source, CF_UNICODETEXT, TYMED_HGLOBAL, medium.get())) return false;
    if (medium->tymed != TYMED_HGLOBAL || medium->hGlobal == GlobalHandle{}) return false;
    const size_t size = globalSize(medium->hGlobal);
    if (size < 2) return false;
    GlobalLockGuard lock(medium->hGlobal);
    if (!lock) return false;
    const size_t chars = size / 2;
    if (!isReadableWideString(static_cast<const char16_t*>(lock.get()), chars) ||
        !isReadable(lock.get(), chars * 2))
        return false;
    // The text ends at the first NUL; a block without one is text all the way.
    const auto* bytes = static_cast<const unsigned char*>(lock.get());
    std::u16string wide;
    wide.reserve(chars);
    for (size_t i = 0; i < chars; ++i) {
        const auto c = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        if (c == 0) break;
        wide.push_back(c);
    }
    text_ = utf16ToUtf8(wide);
    return true;
}

bool TextItem::sameData(const Item& other) const {
    return text_ == static_cast<const TextItem&>(other).text_;
}

}  // namespace cb
