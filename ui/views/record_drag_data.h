#pragma once

#include <QMimeData>
#include <memory>
#include <optional>

#include "model/record.h"
#include "model/record_list.h"

// What a record dragged out of a list carries: every format the record has, under the X11
// targets the clipboard serves them as (UTF8_STRING, text/html, image/png, text/uri-list, ...),
// and the tag that names the record, its list and this process.
std::unique_ptr<QMimeData> makeRecordMimeData(const cb::Record& record, const cb::RecordList* list);

// The record and list a tag names, when the tag is ours: made by this process and naming a live
// list that still holds the record.
struct DraggedRecord {
    cb::RecordPtr record;
    cb::RecordList* list = nullptr;
};
std::optional<DraggedRecord> readRecordTag(const QMimeData& data);

// The tag's MIME name.
QString recordTagFormat();
