// Turning a clipboard change into a record.

#include "engine/capture_rules.h"
#include "engine/clipboard_engine.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/enh_metafile_item.h"
#include "model/history.h"
#include "model/item_type.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_formats.h"
#include "platform/text_codec.h"

using namespace platform;

namespace engine {

namespace {
constexpr ClipFormat kMetafilePict = 3;  // the old metafile format; no item reads it
}  // namespace

ClipFormat mergedFormat(ClipFormat format) {
    // A PNG file is one more form of the picture that the bitmap item reads.
    if (format == registeredFormats().png) return CF_DIB;
    switch (format) {
        case CF_BITMAP: return CF_DIB;
        case kMetafilePict: return CF_ENHMETAFILE;
        case CF_TEXT: return CF_UNICODETEXT;
        default: return format;
    }
}

namespace {

template <class T>
bool sameItem(const cb::DataObject& a, const cb::DataObject& b) {
    const T* x = a.findFirst<T>();
    const T* y = b.findFirst<T>();
    if (x == nullptr || y == nullptr) return x == y;
    return *x == *y;
}

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

}  // namespace

bool sameContent(const cb::DataObject& a, const cb::DataObject& b) {
    return sameItem<cb::TextItem>(a, b) && sameItem<cb::RtfItem>(a, b) &&
           sameItem<cb::CsvItem>(a, b) && sameItem<cb::BitmapItem>(a, b) &&
           sameItem<cb::HtmlItem>(a, b) && sameItem<cb::FilesItem>(a, b) &&
           sameItem<cb::EnhMetaFileItem>(a, b);
}

bool needsFocusFallback(std::u16string_view path) {
    return path.empty() || equalsIgnoringCase(path, u"CSRSS.EXE");
}

}  // namespace engine

bool ClipboardEngine::waitUntilIdle(WindowHandle window) {
    constexpr int kTries = 5;
    const ProcessId pid =
        desktop_.isWindow(window) ? desktop_.windowThreadProcessId(window).process : 0;
    const ProcessHandle process = pid != 0 ? desktop_.openProcess(pid) : ProcessHandle{};
    if (process == ProcessHandle{}) {
        // As long as a wait would have lasted at its shortest, so that callers pace alike.
        for (int i = 0; i < kTries; ++i) desktop_.sleep(5);
        return false;
    }
    uint32_t last = kWaitFailed;
    for (int i = 0; i < kTries; ++i) {
        last = desktop_.waitForInputIdle(process, 3000);
        if (last != kWaitIdle && last != kWaitTimeout) break;
        desktop_.sleep(1);
    }
    desktop_.closeProcess(process);
    return last == kWaitIdle;
}

std::u16string ClipboardEngine::processPath(ProcessId process) {
    return desktop_.processExecutablePath(process);
}

bool ClipboardEngine::readClipboard(cb::Record& record, cb::DataObject& items) {
    // Another program may hold the clipboard for a moment: six tries, about 50 ms.
    Ref<IDataObject> clipboard;
    HResult hr = desktop_.oleGetClipboard(clipboard.out());
    for (int retry = 0; retry < 5 && (failed(hr) || !clipboard); ++retry) {
        desktop_.sleep(10);
        hr = desktop_.oleGetClipboard(clipboard.out());
    }
    if (failed(hr) || !clipboard) return false;

    // Our own data, and data its owner asks viewers to leave alone, is not captured.
    const RegisteredFormats& registered = registeredFormats();
    FormatEtc ask;
    ask.tymed = TYMED_NULL;
    ask.cfFormat = registered.quilletTag;
    if (clipboard->queryGetData(&ask) == S_OK) return false;
    ask.cfFormat = registered.clipboardViewerIgnore;
    if (clipboard->queryGetData(&ask) == S_OK) return false;

    Ref<IEnumFormatEtc> formats;
    if (failed(clipboard->enumFormatEtc(DATADIR_GET, formats.out())) || !formats) return false;
    bool haveText = false;
    bool haveBitmap = false;
    bool haveMetafile = false;
    const cmn::option<int>& options = config_.options();
    FormatEtc offered;
    uint32_t fetched = 0;
    while (formats->next(1, &offered, &fetched) == S_OK && fetched == 1) {
        const ClipFormat f = offered.cfFormat;
        bool* captured = nullptr;
        switch (engine::mergedFormat(f)) {
            case CF_UNICODETEXT: captured = &haveText; break;
            case CF_DIB: captured = &haveBitmap; break;
            case CF_ENHMETAFILE: captured = &haveMetafile; break;
            default: break;
        }
        if (captured && *captured) continue;
        // A PNG file is read by the bitmap item, under the bitmap's options.
        const ClipFormat itemFormat = f == registeredFormats().png ? CF_DIB : f;
        if (!cb::isRecorded(itemFormat, options)) continue;
        const cb::ItemType* type = cb::findTypeByFormat(itemFormat);
        std::unique_ptr<cb::Item> item = type->create();
        // A format that cannot be read is left out; an equivalent one later gets its turn.
        if (!item->readFrom(*clipboard)) continue;
        items.add(std::move(item));
        if (captured) *captured = true;
    }
    if (items.empty()) return false;
    // A record the history file could not read back is not kept: it would cost the whole file.
    return record.completeFromItems(items, recordLimits_);
}

void ClipboardEngine::capture() {
    try {
        captureSteps();
    } catch (...) {
        // A change that cannot be captured is not captured; whatever was built is gone with
        // the stack.
    }
}

void ClipboardEngine::captureSteps() {
    if (!listeningListCanAdd()) return;

    const WindowHandle owner = desktop_.clipboardOwner();
    if (owner != kNoWindow && !desktop_.isWindow(owner)) return;
    waitUntilIdle(owner);
    if (owner != kNoWindow && !desktop_.isWindow(owner)) return;

    const cb::RecordPtr record = cb::Record::createForCapture(desktop_.currentTime());
    auto items = std::make_unique<cb::DataObject>();
    if (!readClipboard(*record, *items)) return;

    if (!config_.getBool(kOptAllowDuplicates, false) && lastCaptured_ &&
        engine::sameContent(*items, *lastCaptured_))
        return;

    std::u16string path = processPath(desktop_.windowThreadProcessId(owner).process);
    const std::string pathUtf8 = utf16ToUtf8(path);
    for (const std::string& excluded : config_.excludedPrograms())
        if (pathUtf8 == excluded) return;

    if (engine::needsFocusFallback(path)) {
        const std::optional<GuiThreadInfo> foreground = desktop_.guiThreadInfo(0);
        if (foreground && foreground->focus != kNoWindow)
            path = processPath(desktop_.windowThreadProcessId(foreground->focus).process);
    }
    record->setApplication(path);

    // The list was asked at the start; nothing on this thread can have replaced it since, but
    // a missing one still means there is nowhere to put the record.
    cb::RecordList* list = history_.listeningList();
    if (list == nullptr) return;
    list->add(record);

    lastCaptured_ = std::move(items);
    lastRecord_ = record;

    if (autoSend_ && config_.getBool(kOptAutoSend, false))
        for (const NetworkAddress& host : config_.autoSendHosts()) autoSend_->sendRecord(host, record);

    if (tray_) tray_->startTrayAnimation();
}
