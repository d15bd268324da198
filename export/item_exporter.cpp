#include "export/item_exporter.h"

#include <cstdio>
#include <fstream>

#include "export/exporters.h"
#include "model/data_object.h"
#include "model/record_list.h"

bool ItemExporter::exportItem(const cb::DataObject& items,
                              const std::filesystem::path& basePath) const {
    const cb::Item* item = items.findFirstOf(itemClass());
    if (item == nullptr) return false;
    std::filesystem::path file = basePath;
    file += extension();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string bytes = bytesOf(*item);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

const std::vector<std::unique_ptr<ItemExporterType>>& itemExporterTypes() {
    static const auto types = [] {
        std::vector<std::unique_ptr<ItemExporterType>> v;
        v.push_back(std::make_unique<ItemExporterTypeImpl<BitmapItemExporter, cb::BitmapItem>>());
        v.push_back(std::make_unique<ItemExporterTypeImpl<CsvItemExporter, cb::CsvItem>>());
        v.push_back(
            std::make_unique<ItemExporterTypeImpl<EnhMetaFileItemExporter, cb::EnhMetaFileItem>>());
        v.push_back(std::make_unique<ItemExporterTypeImpl<RtfItemExporter, cb::RtfItem>>());
        v.push_back(std::make_unique<ItemExporterTypeImpl<TextItemExporter, cb::TextItem>>());
        return v;
    }();
    return types;
}

std::filesystem::path exportBasePath(const std::filesystem::path& folder, size_t index) {
    char number[24];
    std::snprintf(number, sizeof number, "%2zu", index);
    return folder / (std::string("clip_") + number);
}

size_t exportList(const cb::RecordList& list, const std::filesystem::path& folder) {
    size_t written = 0;
    for (size_t i = 0; i < list.count(); ++i) {
        const auto items = list.at(i)->rebuildItems(&list);
        if (!items) continue;
        const auto base = exportBasePath(folder, i);
        for (const auto& type : itemExporterTypes())
            if (type->exporter().exportItem(*items, base)) ++written;
    }
    return written;
}
