#include "ui/views/record_drag_data.h"

#include <cstring>

#include "model/block_items.h"
#include "model/data_object.h"
#include "platform/process.h"
#include "platform/clipboard_conversions.h"
#include "platform/clipboard_snapshot.h"

namespace {

uint32_t readField(const QByteArray& bytes, int index) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[index * 4 + i]);
    return value;
}

}  // namespace

QString recordTagFormat() {
    return QString::fromLatin1(platform::target::kQuilletTag.data(),
                               static_cast<qsizetype>(platform::target::kQuilletTag.size()));
}

std::unique_ptr<QMimeData> makeRecordMimeData(const cb::Record& record,
                                              const cb::RecordList* list) {
    auto mime = std::make_unique<QMimeData>();
    bool hasText = false;
    if (const auto items = record.rebuildItems(list)) {
        for (const auto& target :
             platform::targetsFromWindows(platform::renderForTargets(*items))) {
            mime->setData(QString::fromStdString(target.target),
                          QByteArray(target.bytes.data(), static_cast<qsizetype>(target.bytes.size())));
            hasText = hasText || target.target == platform::target::kUtf8String;
        }
    } else {
        // Items that cannot be rebuilt still leave the text and the tag to drag.
        const cb::QuilletTagItem tag(record.identity(), list ? list->identity() : 0,
                                     platform::currentProcessId());
        mime->setData(recordTagFormat(), QByteArray(tag.block().view().data(),
                                                    static_cast<qsizetype>(tag.block().size())));
    }
    if (!hasText && !record.textUtf8().empty())
        mime->setText(QString::fromUtf8(record.textUtf8().data(),
                                        static_cast<qsizetype>(record.textUtf8().size())));
    return mime;
}

std::optional<DraggedRecord> readRecordTag(const QMimeData& data) {
    const QString format = recordTagFormat();
    if (!data.hasFormat(format)) return std::nullopt;
    const QByteArray bytes = data.data(format);
    if (bytes.size() < static_cast<qsizetype>(cb::QuilletTagItem::kBytes)) return std::nullopt;
    const uint32_t recordId = readField(bytes, 0);
    const uint32_t listId = readField(bytes, 1);
    const uint32_t processId = readField(bytes, 2);
    // A tag from another running copy names objects that do not live here.
    if (processId != platform::currentProcessId() || recordId == 0 || listId == 0)
        return std::nullopt;
    cb::RecordList* list = cb::RecordList::resolve(listId);
    if (list == nullptr) return std::nullopt;
    for (const cb::RecordPtr& record : list->records())
        if (record->identity() == recordId) return DraggedRecord{record, list};
    return std::nullopt;
}
