// The archive reader on each top-level layout. A load either fails with an ArchiveError or
// gives an object whose saved text loads again (with the limits real callers use) and saves to
// the same text; either way the heap stays within what the reader's limits allow.

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check_support.h"
#include "model/bitmap_item.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/item.h"
#include "model/record.h"
#include "model/record_list.h"
#include "net/messages.h"
#include "persist/archive/archive.h"
#include "persist/config/app_config.h"
#include "persist/config/archive_info.h"

namespace quillet::fuzz {

namespace {

using cmn::archive::ArchiveError;
using cmn::archive::Limits;

enum class Layout : uint8_t {
    HistoryFile,
    ListFile,
    Configuration,
    RecordPayload,
    Query,
    Reply,
    PeerRecord,
    PeerList,
    PeerHistory,
    Count
};

// Files start with an ArchiveInfo; payloads and messages hold their object alone.
struct Shape {
    bool withInfo;
    Limits real;  // what the program's own reader of this layout uses
};

template <class T>
void load(T& object, ArchiveInfo& info, std::string_view text, const Shape& shape,
          const Limits& limits) {
    std::istringstream in{std::string(text)};
    cmn::archive::Reader reader(in, limits);
    if (shape.withInfo) reader.object(info);
    reader.object(object);
}

template <class T>
std::string save(const T& object, const ArchiveInfo& info, const Shape& shape) {
    std::ostringstream out;
    cmn::archive::Writer writer(out);
    if (shape.withInfo) writer.object(info);
    writer.object(object);
    writer.finish();
    return out.str();
}

// Null when the text is refused.
template <class T>
std::unique_ptr<T> roundTrip(const char* name, std::string_view text, const Shape& shape) {
    auto first = std::make_unique<T>();
    ArchiveInfo info;
    HeapMeter::start();
    try {
        load(*first, info, text, shape, kSmallLimits);
    } catch (const ArchiveError&) {
        checkHeap(name, heapBound(kSmallLimits));
        return nullptr;
    }
    checkHeap(name, heapBound(kSmallLimits));

    const std::string once = save(*first, info, shape);
    auto second = std::make_unique<T>();
    ArchiveInfo infoAgain;
    try {
        load(*second, infoAgain, once, shape, shape.real);
    } catch (const ArchiveError& e) {
        violation(std::string(name) + ": what was saved does not load again: " + e.what());
    }
    if (save(*second, infoAgain, shape) != once)
        violation(std::string(name) + ": loading what was saved changes it");
    return first;
}

// Rendering is what pasting a record does with items from a file or a peer. Bitmaps are left
// out: their decoding is FreeImage's, not ours.
void renderAll(const cb::DataObject& items) {
    for (const auto& item : items.items()) {
        if (dynamic_cast<const cb::BitmapItem*>(item.get()) != nullptr) continue;
        std::vector<cb::FormatPair> pairs;
        item->appendFormats(pairs);
        for (const cb::FormatPair& pair : pairs) {
            platform::FormatEtc request;
            request.cfFormat = pair.format;
            request.tymed = pair.tymed;
            cb::ScopedMedium medium;
            item->getData(request, medium.get());
        }
    }
}

std::string saved(const cb::DataObject& items) {
    std::ostringstream out;
    cmn::archive::save(items, out);
    return out.str();
}

void checkPayload(std::string_view text) {
    const Shape shape{false, Limits::forPayload()};
    const auto items = roundTrip<cb::DataObject>("record payload", text, shape);
    if (!items) return;
    renderAll(*items);
    // Packed into a record and unpacked again, as captures and pastes do.
    cb::Record record;
    if (!record.encodePayload(*items)) violation("record payload: the items cannot be packed");
    cb::DataObject unpacked;
    try {
        record.decodePayload(unpacked);
    } catch (const ArchiveError& e) {
        violation(std::string("record payload: packed items do not unpack: ") + e.what());
    }
    if (saved(unpacked) != saved(*items))
        violation("record payload: unpacking changes the items");
}

void checkConfiguration(std::string_view text) {
    AppConfig config;
    HeapMeter::start();
    try {
        config.readArchive(text, kSmallLimits);
    } catch (const ArchiveError&) {
        checkHeap("configuration", heapBound(kSmallLimits));
        return;
    }
    checkHeap("configuration", heapBound(kSmallLimits));
    std::ostringstream once;
    config.saveArchive(once);
    AppConfig again;
    try {
        again.readArchive(once.str());
    } catch (const ArchiveError& e) {
        violation(std::string("configuration: what was saved does not load again: ") + e.what());
    }
    std::ostringstream twice;
    again.saveArchive(twice);
    if (twice.str() != once.str()) violation("configuration: loading what was saved changes it");
}

template <class Message>
void checkMessage(const char* name, std::string_view text) {
    const Shape shape{false, Limits::forNetwork()};
    const auto message = roundTrip<Message>(name, text, shape);
    if (!message) return;
    // The fields themselves, not only their text, come back.
    Message again;
    ArchiveInfo unused;
    load(again, unused, save(*message, unused, shape), shape, shape.real);
    if (!(again == *message)) violation(std::string(name) + ": fields differ after a reload");
}

}  // namespace

void checkArchive(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const auto layout = static_cast<Layout>(data[0] % static_cast<uint8_t>(Layout::Count));
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (layout) {
        case Layout::HistoryFile:
            roundTrip<cb::History>("history file", text, Shape{true, Limits::forFiles()});
            break;
        case Layout::ListFile:
            roundTrip<cb::RecordList>("list file", text, Shape{true, Limits::forFiles()});
            break;
        case Layout::Configuration:
            checkConfiguration(text);
            break;
        case Layout::RecordPayload:
            checkPayload(text);
            break;
        case Layout::Query:
            checkMessage<net::QueryInfo>("query", text);
            break;
        case Layout::Reply:
            checkMessage<net::ReplyInfo>("reply", text);
            break;
        case Layout::PeerRecord:
            roundTrip<cb::Record>("peer record", text, Shape{false, Limits::forNetwork()});
            break;
        case Layout::PeerList:
            roundTrip<cb::RecordList>("peer list", text, Shape{false, Limits::forNetwork()});
            break;
        case Layout::PeerHistory:
            roundTrip<cb::History>("peer history", text, Shape{false, Limits::forNetwork()});
            break;
        case Layout::Count:
            break;
    }
}

}  // namespace quillet::fuzz
