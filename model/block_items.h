#pragma once

#include "model/simple_item.h"

namespace cb {

// The items that keep their format's bytes as they are. Each class differs only in its format.

class RtfItem final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    RtfItem() = default;
    ClipFormat format() const override;  // "Rich Text Format"
};

class HtmlItem final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    HtmlItem() = default;
    ClipFormat format() const override;  // "HTML Format"
};

class CsvItem final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    CsvItem() = default;
    ClipFormat format() const override;  // "Csv"
};

// The DROPFILES structure with its list of names.
class FilesItem final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    FilesItem() = default;
    ClipFormat format() const override;  // CF_HDROP
};

class LocaleItem final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    LocaleItem() = default;
    ClipFormat format() const override;  // CF_LOCALE
};

class ShellIdList final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    ShellIdList() = default;
    ClipFormat format() const override;  // "Shell IDList Array"
};

class ShellIdListOffset final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    ShellIdListOffset() = default;
    ClipFormat format() const override;  // "Shell Object Offsets"
};

class PreferredDropEffect final : public SimpleItem {
public:
    using SimpleItem::SimpleItem;
    PreferredDropEffect() = default;
    ClipFormat format() const override;  // "Preferred DropEffect"
};

// The mark on data this program put on the clipboard or into a drag: 12 bytes, three 32-bit
// little-endian fields: the identity of the record, the identity of its record list (0 for
// none) and the id of the process that made it. A new tag names no record and no list yet.
class QuilletTagItem final : public SimpleItem {
public:
    static constexpr uint32_t kBytes = 12;

    QuilletTagItem();
    QuilletTagItem(uint32_t record, uint32_t list, uint32_t processId);

    ClipFormat format() const override;  // "Quillet Professional Tag"
    // A tag is always 12 bytes, whatever the size of the block it is read from.
    size_t dataSize(platform::GlobalHandle handle, const void* locked) const override;

    void setFields(uint32_t record, uint32_t list, uint32_t processId);
    // The fields; 0 for a field the block is too short to hold (a tag loaded from foreign data).
    uint32_t record() const { return field(0); }
    uint32_t list() const { return field(1); }
    uint32_t processId() const { return field(2); }

private:
    uint32_t field(unsigned index) const;
};

}  // namespace cb
