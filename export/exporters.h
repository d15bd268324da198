#pragma once

#include "export/item_exporter.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/enh_metafile_item.h"
#include "model/text_item.h"

// Pictures are kept as PNG files already: their bytes are written unchanged.
class BitmapItemExporter final : public ItemExporter {
public:
    std::type_index itemClass() const override { return typeid(cb::BitmapItem); }
    const char* extension() const override { return ".png"; }

protected:
    std::string bytesOf(const cb::Item& item) const override {
        return std::string(static_cast<const cb::BitmapItem&>(item).png().view());
    }
};

// Writes a block item's raw bytes.
template <class ItemClass>
class BlockItemExporter : public ItemExporter {
public:
    std::type_index itemClass() const override { return typeid(ItemClass); }

protected:
    std::string bytesOf(const cb::Item& item) const override {
        return std::string(static_cast<const ItemClass&>(item).block().view());
    }
};

class CsvItemExporter final : public BlockItemExporter<cb::CsvItem> {
public:
    const char* extension() const override { return ".csv"; }
};

class EnhMetaFileItemExporter final : public BlockItemExporter<cb::EnhMetaFileItem> {
public:
    const char* extension() const override { return ".emf"; }
};

class RtfItemExporter final : public BlockItemExporter<cb::RtfItem> {
public:
    const char* extension() const override { return ".rtf"; }
};

// The text as UTF-8, without a byte-order mark and without a terminator.
class TextItemExporter final : public ItemExporter {
public:
    std::type_index itemClass() const override { return typeid(cb::TextItem); }
    const char* extension() const override { return ".txt"; }

protected:
    std::string bytesOf(const cb::Item& item) const override {
        return static_cast<const cb::TextItem&>(item).textUtf8();
    }
};
