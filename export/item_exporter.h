#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

namespace cb {
class DataObject;
class Item;
class RecordList;
}  // namespace cb

// Writes one kind of item of a record to a file named after the record.
class ItemExporter {
public:
    virtual ~ItemExporter() = default;
    // Writes the first item of the exporter's item class in `items` to basePath + extension.
    // False, writing nothing, when there is no such item or the file cannot be written.
    virtual bool exportItem(const cb::DataObject& items, const std::filesystem::path& basePath) const;

    virtual std::type_index itemClass() const = 0;
    virtual const char* extension() const = 0;

protected:
    // The bytes the file holds for an item of the exporter's class.
    virtual std::string bytesOf(const cb::Item& item) const = 0;
};

// A registry entry: pairs one exporter class with one item class.
class ItemExporterType {
public:
    virtual ~ItemExporterType() = default;
    virtual const ItemExporter& exporter() const = 0;
    virtual std::type_index exporterClass() const = 0;
    virtual std::type_index itemClass() const = 0;
};

template <class Exporter, class ItemClass>
class ItemExporterTypeImpl final : public ItemExporterType {
public:
    const ItemExporter& exporter() const override { return exporter_; }
    std::type_index exporterClass() const override { return typeid(Exporter); }
    std::type_index itemClass() const override { return typeid(ItemClass); }

private:
    Exporter exporter_;
};

// The exporters in registration order: picture, CSV, metafile, RTF, text.
const std::vector<std::unique_ptr<ItemExporterType>>& itemExporterTypes();

// The base path of record `index` in `folder`: "clip_" and the index formatted with "%2d"
// (a space pads 0 to 9).
std::filesystem::path exportBasePath(const std::filesystem::path& folder, size_t index);

// Writes every exportable item of every record of the list into `folder`, replacing files of
// the same names. Records whose items cannot be rebuilt and files that cannot be written are
// skipped silently. Returns the number of files written.
size_t exportList(const cb::RecordList& list, const std::filesystem::path& folder);
