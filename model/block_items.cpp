#include "model/block_items.h"

#include "platform/clipboard_formats.h"
#include "platform/process.h"

namespace cb {

using namespace platform;

ClipFormat RtfItem::format() const { return registeredFormats().rtf; }
ClipFormat HtmlItem::format() const { return registeredFormats().html; }
ClipFormat CsvItem::format() const { return registeredFormats().csv; }
ClipFormat FilesItem::format() const { return CF_HDROP; }
ClipFormat LocaleItem::format() const { return CF_LOCALE; }
ClipFormat ShellIdList::format() const { return registeredFormats().shellIdList; }
ClipFormat ShellIdListOffset::format() const { return registeredFormats().shellObjectOffsets; }
ClipFormat PreferredDropEffect::format() const { return registeredFormats().preferredDropEffect; }

QuilletTagItem::QuilletTagItem() { setFields(0, 0, currentProcessId()); }

QuilletTagItem::QuilletTagItem(uint32_t record, uint32_t list, uint32_t processId) {
    setFields(record, list, processId);
}

ClipFormat QuilletTagItem::format() const { return registeredFormats().quilletTag; }

size_t QuilletTagItem::dataSize(GlobalHandle, const void*) const { return kBytes; }

void QuilletTagItem::setFields(uint32_t record, uint32_t list, uint32_t processId) {
    char bytes[kBytes];
    const uint32_t fields[3] = {record, list, processId};
    for (unsigned f = 0; f < 3; ++f)
        for (unsigned i = 0; i < 4; ++i)
            bytes[f * 4 + i] = static_cast<char>(fields[f] >> (8 * i));
    block_.assign(bytes, kBytes);
}

uint32_t QuilletTagItem::field(unsigned index) const {
    if (block_.size() < (index + 1) * 4) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(block_.data()) + index * 4;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace cb
