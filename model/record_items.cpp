// A record and its items: completing a record from the items of a capture, packing the items
// into the payload and unpacking them again.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/item_type.h"
#include "model/record.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "persist/archive/archive.h"
#include "persist/archive/zlib_stream.h"
#include "platform/process.h"
#include "platform/text_codec.h"

namespace cb {

namespace {

uint32_t readLe32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;  // the layout is little-endian, as is every machine we build for
}

// The text of a file list: every name followed by a line feed. The block is a DROPFILES
// structure (20 bytes: name offset, point, non-client flag, wide flag) and the names follow at
// its offset, each ending with a NUL, until an empty name or the end of the block.
std::string fileListText(const cmn::mblock<char>& block) {
    constexpr size_t kHeaderBytes = 20;
    if (block.size() < kHeaderBytes) return {};
    const char* data = block.data();
    const size_t size = block.size();
    const uint32_t offset = readLe32(data);
    const bool wide = readLe32(data + 16) != 0;
    std::u16string text;
    size_t pos = offset;
    while (pos < size) {
        std::u16string name;
        if (wide) {
            bool ended = false;
            for (; pos + 2 <= size; pos += 2) {
                const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(data[pos]) |
                                                         (static_cast<unsigned char>(data[pos + 1]) << 8));
                if (c == 0) {
                    pos += 2;
                    ended = true;
                    break;
                }
                name.push_back(c);
            }
            if (!ended) pos = size;
        } else {
            const size_t start = pos;
            while (pos < size && data[pos] != '\0') ++pos;
            name = platform::ansiToUtf16(std::string_view(data + start, pos - start));
            if (pos < size) ++pos;
        }
        if (name.empty()) break;
        text += name;
        text.push_back(u'\n');
    }
    return platform::utf16ToUtf8(text);
}

// Whether the compressed bytes inflate within the limits.
bool inflatesWithin(const std::vector<char>& compressed, const cmn::archive::InflateLimits& limits) {
    try {
        cmn::archive::readCompressed(std::string_view(compressed.data(), compressed.size()), limits,
                                     [](std::istream& in) {
                                         char buffer[64 * 1024];
                                         while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
                                         }
                                     });
        return true;
    } catch (const cmn::archive::ArchiveError&) {
        return false;
    }
}

// Puts a taken-out text item back at the end of the container, whatever happens.
class TextItemReturn {
public:
    TextItemReturn(DataObject& items, std::unique_ptr<Item> item)
        : items_(items), item_(std::move(item)) {}
    ~TextItemReturn() {
        if (item_) items_.add(std::move(item_));
    }

private:
    DataObject& items_;
    std::unique_ptr<Item> item_;
};

}  // namespace

bool Record::completeFromItems(DataObject& items, const cmn::archive::RecordLimits& limits) {
    if (items.findFirst<FilesItem>() != nullptr && items.findFirst<TextItem>() == nullptr) {
        auto built = std::make_unique<TextItem>();
        built->setTextUtf8(fileListText(items.findFirst<FilesItem>()->block()));
        items.add(std::move(built));
    }

    int textPosition = -1;
    for (size_t i = 0; i < items.count(); ++i) {
        if (dynamic_cast<TextItem*>(items.at(i)) != nullptr) {
            textPosition = static_cast<int>(i);
            break;
        }
    }
    std::unique_ptr<Item> textItem;
    if (textPosition < 0) {
        const ItemType* type = items.empty() ? nullptr : findTypeOf(*items.at(0));
        text_ = "[";
        if (type) text_ += platform::utf16ToUtf8(type->displayName());
        text_ += ']';
        textIndex_ = -1;
    } else {
        textItem = items.takeOut(static_cast<size_t>(textPosition));
        text_ = static_cast<TextItem&>(*textItem).textUtf8();
        textIndex_ = textPosition;
    }
    // The caller keeps the container for its duplicate test: it must hold every item again,
    // also when encoding fails or throws.
    TextItemReturn putBack(items, std::move(textItem));
    if (text_.size() > limits.maxTextBytes) return false;
    return encodePayload(items, limits);
}

bool Record::encodePayload(const DataObject& items, const cmn::archive::RecordLimits& limits) {
    // A large picture is a PNG file, compressed already: deflate's search would only cost time.
    constexpr uint32_t kLargePictureBytes = 256 * 1024;
    const BitmapItem* picture = items.findFirst<BitmapItem>();
    const auto how = picture && picture->png().size() >= kLargePictureBytes
                         ? cmn::archive::Deflate::HuffmanOnly
                         : cmn::archive::Deflate::Default;
    std::vector<char> packed;
    uint64_t textBytes = 0;
    try {
        cmn::archive::writeCompressed(
            packed,
            [&](std::ostream& out) {
                cmn::archive::Writer writer(out, limits.payload, limits.payloadInflate.maxBytes);
                writer.object(items);
                writer.finish();
                textBytes = writer.bytesWritten();
            },
            how);
    } catch (const cmn::archive::ArchiveError& e) {
        if (e.kind() == cmn::archive::ArchiveError::Kind::LimitExceeded) return false;
        throw;
    }
    if (packed.empty() || packed.size() > std::min<uint64_t>(limits.maxPayloadBytes, UINT32_MAX)) return false;
    // Past its ratio-free part the payload's reader also bounds how far the text may have
    // inflated from the bytes consumed so far; only inflating it as the reader does tells.
    if (textBytes > limits.payloadInflate.ratioFreeBytes && !inflatesWithin(packed, limits.payloadInflate))
        return false;
    payload_.assign(packed.data(), static_cast<uint32_t>(packed.size()));
    return true;
}

bool Record::decodePayload(DataObject& items) const {
    if (payload_.empty()) return false;
    // Payloads come from files and peers: untrusted, like the archive that carried them.
    auto read = [&](std::istream& in) {
        cmn::archive::Reader reader(in, cmn::archive::Limits::forPayload());
        reader.object(items);
    };
    cmn::archive::readCompressed(payload_.view(), cmn::archive::kPayloadInflate, read);
    return true;
}

std::unique_ptr<DataObject> Record::rebuildItems(const RecordList* owner) const {
    auto items = std::make_unique<DataObject>();
    try {
        if (!decodePayload(*items)) return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    if (textIndex_ >= 0) {
        if (static_cast<size_t>(textIndex_) > items->count()) return nullptr;
        auto text = std::make_unique<TextItem>();
        text->setTextUtf8(text_);
        items->insert(static_cast<size_t>(textIndex_), std::move(text));
    }
    items->add(std::make_unique<QuilletTagItem>(identity(), owner ? owner->identity() : 0,
                                                platform::currentProcessId()));
    return items;
}

}  // namespace cb
