#pragma once

#include <string_view>

#include "model/data_object.h"
#include "model/record.h"
#include "platform/unknown.h"

namespace cb {

class RecordList;

// A new data object offering the record's items: the text where it stood when the record was
// captured, and our tag (naming the record, its list or none, and this process) last. Null when
// the payload cannot be unpacked or the text position lies beyond the items.
platform::Ref<DataObject> makeDataObject(const Record& record, const RecordList* list);

// Fills a new, empty record so that it holds exactly the text and nothing else: the text first,
// an empty payload. Such a record offers only the text formats and the tag. False when the
// record cannot be completed.
bool makeTextOnlyRecord(Record& record, std::u16string_view text);

}  // namespace cb
