// Records: the packed capture time, completion from the items of a capture, the payload's
// archive text, and rebuilding the items with the text at its index and the tag last.

#include "model/record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "persist/archive/archive.h"
#include "persist/archive/zlib_stream.h"
#include "platform/process.h"

namespace {

using cmn::mblock;

// The archive text inside a record's payload.
std::string payloadText(const cb::Record& r) {
    std::string text;
    cmn::archive::readCompressed(r.payload().view(), 1 << 20, [&](std::istream& in) {
        text.assign(std::istreambuf_iterator<char>(in), {});
    });
    return text;
}

// The class names of the items, in order.
std::string shape(const cb::DataObject& items) {
    std::string out;
    for (const auto& item : items.items()) {
        std::string name = typeid(*item).name();
        for (const char* n : {"TextItem", "HtmlItem", "RtfItem", "FilesItem", "QuilletTagItem",
                              "BitmapItem"})
            if (name.find(n) != std::string::npos) name = n;
        out += (out.empty() ? "" : ",") + name;
    }
    return out;
}

std::unique_ptr<cb::DataObject> itemsOf(std::vector<std::unique_ptr<cb::Item>> list) {
    auto items = std::make_unique<cb::DataObject>();
    for (auto& item : list) items->add(std::move(item));
    return items;
}

template <class T>
std::unique_ptr<cb::Item> block(std::string_view bytes) {
    return std::make_unique<T>(mblock<char>(bytes));
}

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        const char* old = std::getenv("TZ");
        if (old) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_.empty()) unsetenv("TZ");
        else setenv("TZ", old_.c_str(), 1);
        tzset();
    }

private:
    std::string old_;
};

TEST(RecordTime, PacksLocalTimeAsDosDateAndTime) {
    ScopedTimeZone zone("EST5");  // a fixed offset of five hours, no daylight saving
    const std::time_t at = 1710528330;  // 2024-03-15 18:45:30 UTC, 13:45:30 local
    EXPECT_EQ(cb::packLocalTime(at), 0x586F6DAFu);
    EXPECT_EQ(cb::packLocalTime(at + 1), 0x586F6DAFu);  // an odd second rounds down
    EXPECT_EQ(cb::unpackLocalTime(0x586F6DAFu), at);
    EXPECT_EQ(cb::Record::createForCapture(at)->time(), 0x586F6DAFu);
    EXPECT_EQ(cb::Record().time(), 0u);
}

TEST(RecordCompletion, TextOnly) {
    auto items = itemsOf({});
    items->add(std::make_unique<cb::TextItem>(u"hello"));
    cb::Record r;
    ASSERT_TRUE(r.completeFromItems(*items));
    EXPECT_EQ(r.textUtf8(), "hello");
    EXPECT_EQ(r.textIndex(), 0);
    EXPECT_EQ(payloadText(r), "22 serialization::archive 3 0 0 0 0 0\n");
    EXPECT_EQ(shape(*items), "TextItem");  // the caller's container is whole again

    const auto rebuilt = r.rebuildItems(nullptr);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(shape(*rebuilt), "TextItem,QuilletTagItem");
    EXPECT_EQ(static_cast<cb::TextItem*>(rebuilt->at(0))->textUtf8(), "hello");
}

TEST(RecordCompletion, HtmlTextRtfKeepsTheTextIndexAndThePayloadHoldsTheRest) {
    auto items = itemsOf({});
    items->add(block<cb::HtmlItem>("<b>"));
    items->add(std::make_unique<cb::TextItem>(u"b"));
    items->add(block<cb::RtfItem>("{\\rtf1}"));
    cb::Record r;
    ASSERT_TRUE(r.completeFromItems(*items));
    EXPECT_EQ(r.textIndex(), 1);
    EXPECT_EQ(r.textUtf8(), "b");
    EXPECT_EQ(shape(*items), "HtmlItem,RtfItem,TextItem");
    // DataObject [0], its item vector [1], HtmlItem [2] with its key, block [3]; RtfItem [4].
    // "<b>" is PGI+ and "{\rtf1}" is e1xydGYxfQ in base64.
    EXPECT_EQ(payloadText(r),
              "22 serialization::archive 3 0 0 0 0 2 2 12 cb::HtmlItem 1 0 0 0 0 3\n\nPGI+=\n"
              "4 11 cb::RtfItem 1 0 1 7\n\ne1xydGYxfQ\n");

    cb::RecordList owner;
    const auto rebuilt = r.rebuildItems(&owner);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(shape(*rebuilt), "HtmlItem,TextItem,RtfItem,QuilletTagItem");
    const auto* tag = static_cast<cb::QuilletTagItem*>(rebuilt->at(3));
    EXPECT_EQ(tag->record(), r.identity());
    EXPECT_EQ(tag->list(), owner.identity());
    EXPECT_EQ(tag->processId(), platform::currentProcessId());
    EXPECT_EQ(cb::LiveIdentity<cb::Record>::resolve(tag->record()), &r);
}

TEST(RecordCompletion, PictureOnlyGetsTheTypeNameAsText) {
    auto items = itemsOf({});
    items->add(std::make_unique<cb::BitmapItem>());
    cb::Record r;
    ASSERT_TRUE(r.completeFromItems(*items));
    EXPECT_EQ(r.textUtf8(), "[Bitmap Picture]");
    EXPECT_EQ(r.textIndex(), -1);
    EXPECT_EQ(shape(*r.rebuildItems(nullptr)), "BitmapItem,QuilletTagItem");
}

TEST(RecordCompletion, ALargePictureComesBackByteForByte) {
    // Noise does not compress: its PNG file is large, and the payload is deflated the fast way.
    const int width = 600, height = 400;
    std::string dib(40, '\0');
    dib[0] = 40, dib[4] = static_cast<char>(width & 0xFF), dib[5] = static_cast<char>(width >> 8);
    dib[8] = static_cast<char>(height & 0xFF), dib[9] = static_cast<char>(height >> 8);
    dib[12] = 1, dib[14] = 32;
    uint32_t x = 3;
    for (int i = 0; i < width * height * 4; ++i) dib.push_back(static_cast<char>((x = x * 1103515245 + 12345) >> 16));
    auto picture = std::make_unique<cb::BitmapItem>();
    ASSERT_TRUE(picture->setFromPackedDib(dib.data(), dib.size()));
    const std::string png(picture->png().view());
    ASSERT_GT(png.size(), 512u * 1024);
    auto items = itemsOf({});
    items->add(std::move(picture));
    cb::Record r;
    ASSERT_TRUE(r.completeFromItems(*items));
    const auto rebuilt = r.rebuildItems(nullptr);
    ASSERT_TRUE(rebuilt);
    const auto* back = rebuilt->findFirst<cb::BitmapItem>();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->png().view(), png);
    const auto pixels = back->decode();
    ASSERT_TRUE(pixels);
    EXPECT_TRUE(std::string(pixels->bits.begin(), pixels->bits.end()) == dib.substr(40));
}

// A DROPFILES block: offset 20, point, non-client flag, wide flag, then the names.
std::string dropFiles(bool wide, const std::vector<std::string>& names) {
    std::string b(20, '\0');
    b[0] = 20;
    b[16] = wide ? 1 : 0;
    for (const auto& name : names) {
        for (char c : name) {
            b.push_back(c);
            if (wide) b.push_back('\0');
        }
        b.append(wide ? 2 : 1, '\0');
    }
    b.append(wide ? 2 : 1, '\0');
    return b;
}

TEST(RecordCompletion, FileListGivesItsNamesAsText) {
    struct Case {
        std::string block;
        std::string text;
    };
    const Case cases[] = {
        {dropFiles(true, {"/home/u/a.txt", "/home/u/b c"}), "/home/u/a.txt\n/home/u/b c\n"},
        {dropFiles(false, {"/tmp/caf\xE9"}), "/tmp/caf\xC3\xA9\n"},  // narrow names are ANSI
        {std::string(19, '\0'), ""},                                 // no whole header
        {dropFiles(true, {"/x"}).substr(0, 25), "/x\n"},             // names end with the block
    };
    for (const auto& c : cases) {
        auto items = itemsOf({});
        items->add(block<cb::FilesItem>(c.block));
        cb::Record r;
        ASSERT_TRUE(r.completeFromItems(*items));
        EXPECT_EQ(r.textUtf8(), c.text);
        EXPECT_EQ(r.textIndex(), 1);
        EXPECT_EQ(shape(*r.rebuildItems(nullptr)), "FilesItem,TextItem,QuilletTagItem");
    }
}

TEST(RecordRebuild, FailsForAnEmptyOrCorruptPayloadAndATextIndexBeyondTheItems) {
    EXPECT_EQ(cb::Record().rebuildItems(nullptr), nullptr);  // never completed

    cb::Record corrupt;
    corrupt.setPayload(mblock<char>(std::string_view("\x78\x9C not zlib")));
    EXPECT_EQ(corrupt.rebuildItems(nullptr), nullptr);

    // A record with two items in its payload and its text at index 2, stored and read back
    // with the index changed to 3.
    auto items = itemsOf({});
    items->add(block<cb::HtmlItem>("h"));
    items->add(block<cb::RtfItem>("r"));
    items->add(std::make_unique<cb::TextItem>(u"t"));
    cb::Record r;
    ASSERT_TRUE(r.completeFromItems(*items));
    ASSERT_EQ(r.textIndex(), 2);
    std::ostringstream out;
    cmn::archive::save(r, out);
    std::string text = out.str();
    const auto at = text.find(" 2 0 0 0 8 ");
    ASSERT_NE(at, std::string::npos);
    text[at + 1] = '3';
    cb::Record loaded;
    std::istringstream in(text);
    cmn::archive::load(loaded, in, cmn::archive::Limits::forFiles());
    EXPECT_EQ(loaded.textIndex(), 3);
    EXPECT_EQ(loaded.rebuildItems(nullptr), nullptr);
    text[at + 1] = '2';
    std::istringstream again(text);
    cb::Record good;
    cmn::archive::load(good, again, cmn::archive::Limits::forFiles());
    EXPECT_EQ(shape(*good.rebuildItems(nullptr)), "HtmlItem,RtfItem,TextItem,QuilletTagItem");
}

TEST(RecordArchive, ClassVersion0HasNoIdAndVersion1CarriesIt) {
    // Record class version 0: payload (empty), text, application, time, textIndex.
    const std::string v0 = "22 serialization::archive 3 1 0 0 0 0 0 2 hi 4 /bin 5 -1\n";
    cb::Record r;
    std::istringstream in(v0);
    cmn::archive::load(r, in, cmn::archive::Limits::forFiles());
    EXPECT_EQ(r.textUtf8(), "hi");
    EXPECT_EQ(r.applicationUtf8(), "/bin");
    EXPECT_EQ(r.time(), 5u);
    EXPECT_EQ(r.id(), cb::Guid{});

    cb::Record withId;
    withId.setTextUtf8("x");
    withId.setId(cb::Guid{0x01020304, 5, 6, {7, 8, 9, 10, 11, 12, 13, 255}});
    std::ostringstream out;
    cmn::archive::save(withId, out);
    EXPECT_EQ(out.str(),
              "22 serialization::archive 3 1 1 0 0 0 0 1 x 0  0 -1 16909060 5 6 8 7 8 9 10 11 12 "
              "13 255\n");
}

// Whether every reader of a record under `limits` accepts it: its text as a file's string, its
// payload as a file's block, and the payload's own archive.
bool readersAccept(const cb::Record& r, const cmn::archive::RecordLimits& limits) {
    if (r.textUtf8().size() > limits.maxTextBytes || r.payload().size() > limits.maxPayloadBytes) return false;
    try {
        cb::DataObject items;
        cmn::archive::readCompressed(r.payload().view(), limits.payloadInflate, [&](std::istream& in) {
            cmn::archive::Reader reader(in, limits.payload);
            reader.object(items);
        });
        return true;
    } catch (const cmn::archive::ArchiveError&) {
        return false;
    }
}

// Small limits stand for the real ones, which are hundreds of megabytes: a record is completed
// when the readers of its files under the same limits accept it, and refused when they would not.
TEST(RecordCompletion, RefusesWhatTheReadersOfItsFilesWouldRefuse) {
    using cmn::archive::RecordLimits;
    std::mt19937 random(7);
    std::string noise;  // does not compress
    while (noise.size() < 3000) noise.push_back(static_cast<char>(random()));
    const std::string zeros(100000, '\0');  // compresses about a thousandfold

    const struct {
        const char* what;
        std::string text;
        std::string html;  // none when empty
        void (*limit)(RecordLimits&);
        bool completes;
    } cases[] = {
        {"text at the cap", std::string(99, 'a') + "b", "", [](RecordLimits& l) { l.maxTextBytes = 100; }, true},
        // Latin-1 letters take two bytes once stored as UTF-8.
        {"text above the cap once encoded", std::string(99, 'a') + "\xC3\xA9", "",
         [](RecordLimits& l) { l.maxTextBytes = 100; }, false},
        {"block at the cap", "t", noise.substr(0, 2000), [](RecordLimits& l) { l.payload.maxBinaryBytes = 2000; }, true},
        {"block above the cap", "t", noise.substr(0, 2001), [](RecordLimits& l) { l.payload.maxBinaryBytes = 2000; },
         false},
        {"payload above its cap", "t", noise, [](RecordLimits& l) { l.maxPayloadBytes = 2000; }, false},
        {"payload that inflates beyond the ratio", "t", zeros,
         [](RecordLimits& l) { l.payloadInflate = {1 << 20, 4096, 100}; }, false},
        {"the same with a ratio that allows it", "t", zeros,
         [](RecordLimits& l) { l.payloadInflate = {1 << 20, 4096, 5000}; }, true},
        {"payload that inflates beyond its size", "t", zeros,
         [](RecordLimits& l) { l.payloadInflate = {50000, 1 << 20, 100}; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordLimits limits = RecordLimits::forFiles();
        c.limit(limits);
        auto items = [&] {
            auto d = std::make_unique<cb::DataObject>();
            if (!c.html.empty()) {
                auto html = std::make_unique<cb::HtmlItem>();
                html->setBlock(mblock<char>(std::string_view(c.html)));
                d->add(std::move(html));
            }
            auto text = std::make_unique<cb::TextItem>();
            text->setTextUtf8(c.text);
            d->add(std::move(text));
            return d;
        };
        const auto offered = items();
        cb::Record r;
        EXPECT_EQ(r.completeFromItems(*offered, limits), c.completes);
        EXPECT_EQ(offered->count(), c.html.empty() ? 1u : 2u);  // the capture's duplicate test still has them all
        const auto again = items();
        cb::Record unchecked;
        ASSERT_TRUE(unchecked.completeFromItems(*again));
        EXPECT_EQ(readersAccept(unchecked, limits), c.completes);
    }
}

}  // namespace
