// Putting a record back on the clipboard.

#include "engine/clipboard_writer.h"

#include "engine/clipboard_engine.h"
#include "engine/keyboard_hook.h"
#include "model/item_type.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"

using namespace platform;

namespace cb {

Ref<DataObject> makeDataObject(const Record& record, const RecordList* list) {
    try {
        std::unique_ptr<DataObject> items = record.rebuildItems(list);
        return Ref<DataObject>(items.release());
    } catch (...) {
        return Ref<DataObject>();
    }
}

bool makeTextOnlyRecord(Record& record, std::u16string_view text) {
    DataObject items;
    items.add(std::make_unique<TextItem>(text));
    return record.completeFromItems(items);
}

}  // namespace cb

namespace {

// writing is true exactly while our own write runs, however it ends.
class WritingFlag {
public:
    explicit WritingFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~WritingFlag() { flag_ = false; }
    WritingFlag(const WritingFlag&) = delete;
    WritingFlag& operator=(const WritingFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

bool ClipboardEngine::writeRecord(const cb::RecordPtr& record, const cb::RecordList* list) {
    if (!record) return false;
    try {
        return writeRecordSteps(record, list);
    } catch (...) {
        return false;
    }
}

bool ClipboardEngine::writeRecordSteps(const cb::RecordPtr& record, const cb::RecordList* list) {
    const cmn::option<int>& options = config_.options();
    // With Ctrl+V as the popup shortcut, the ordinary Ctrl+V paste goes through us too; writing
    // the same record again would only make every viewer see a change that is none.
    if (!config_.getBool(kOptReplaceIdenticalClipboard, true) && record == lastRecord_ &&
        engine::popupShortcutIsCtrlV(options))
        return true;

    Ref<cb::DataObject> data = cb::makeDataObject(*record, list);
    if (!data) return false;

    for (const cb::ItemType* type : cb::itemTypes())
        if (!cb::isPasted(type->format(), options)) data->removeFirstOf(*type);

    HResult hr;
    {
        WritingFlag writing(writing_);
        hr = desktop_.oleSetClipboard(data.get());
    }
    // Until the new object is on the clipboard, the one before may still be there, and it is
    // the one to flush at exit.
    if (failed(hr)) return false;
    ownDataObject_ = data;

    lastCaptured_.reset();
    lastRecord_ = record;
    return true;
}
