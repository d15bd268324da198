#include <QBuffer>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include "model/bitmap_item.h"
#include "model/item_type.h"
#include "ui/views/item_views.h"
#include "ui/views/record_viewer.h"
#include "ui/views/rtf_reader.h"
#include "views_fixture.h"

using namespace viewstest;

namespace {

QString nameOf(const std::type_info& item) {
    return QString::fromStdU16String(cb::findTypeByClass(item)->displayName());
}

std::unique_ptr<cb::Item> rtfItem(const std::string& rtf) {
    return std::make_unique<cb::RtfItem>(cmn::mblock<char>(rtf));
}

std::unique_ptr<cb::Item> pictureItem(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    auto item = std::make_unique<cb::BitmapItem>();
    cb::BitmapItem::wxBitmap bitmap;
    bitmap.block = cmn::mblock<char>(std::string_view(png.constData(), static_cast<size_t>(png.size())));
    item->setBitmap(std::move(bitmap));
    return item;
}

// A record holding only the given items (no text item).
cb::RecordPtr recordOf(std::vector<std::unique_ptr<cb::Item>> items) {
    cb::DataObject data;
    for (auto& item : items) data.add(std::move(item));
    cb::RecordPtr r = cb::Record::createForCapture(0);
    EXPECT_TRUE(r->completeFromItems(data));
    return r;
}

const std::string kRtf = "{\\rtf1 plain {\\b bold}\\par next}";

TEST(RecordViewerTest, TabsFollowTheItemTypeOrderWhateverTheRecordsOrder) {
    RecordViewer viewer;
    viewer.resize(300, 200);
    const QStringList expected = {nameOf(typeid(cb::TextItem)), nameOf(typeid(cb::RtfItem))};

    std::vector<std::unique_ptr<cb::Item>> rtfFirst;
    rtfFirst.push_back(rtfItem(kRtf));
    rtfFirst.push_back(std::make_unique<cb::TextItem>(u"plain bold next"));
    viewer.setRecord(recordOf(std::move(rtfFirst)));
    EXPECT_EQ(viewer.tabCaptions(), expected);

    std::vector<std::unique_ptr<cb::Item>> rtfLast;
    rtfLast.push_back(rtfItem(kRtf));
    viewer.setRecord(capturedRecord(u"text first", std::move(rtfLast)));
    EXPECT_EQ(viewer.tabCaptions(), expected);
    auto& text = static_cast<TextItemView&>(*viewer.views()[0]);
    EXPECT_EQ(text.editor().toPlainText(), "text first");
}

TEST(RecordViewerTest, APictureRecordShowsOnlyThePictureTabUntilATextRecordReplacesIt) {
    RecordViewer viewer;
    viewer.resize(300, 200);
    std::vector<std::unique_ptr<cb::Item>> picture;
    picture.push_back(pictureItem(10, 10));
    viewer.setRecord(recordOf(std::move(picture)));
    EXPECT_EQ(viewer.tabCaptions(), QStringList({nameOf(typeid(cb::BitmapItem))}));
    EXPECT_EQ(viewer.currentView(), viewer.views()[2].get());

    viewer.setRecord(capturedRecord(u"words"));
    EXPECT_EQ(viewer.tabCaptions(), QStringList({nameOf(typeid(cb::TextItem))}));
    EXPECT_EQ(viewer.currentView(), viewer.views()[0].get());

    viewer.setRecord(nullptr);
    EXPECT_TRUE(viewer.tabCaptions().isEmpty());
    EXPECT_EQ(viewer.currentView(), nullptr);
}

TEST(RecordViewerTest, TheSameRecordAgainRebuildsNothing) {
    RecordViewer viewer;
    std::vector<std::unique_ptr<cb::Item>> rtf;
    rtf.push_back(rtfItem(kRtf));
    const cb::RecordPtr r = capturedRecord(u"text", std::move(rtf));
    viewer.setRecord(r);
    viewer.tabBar().setCurrentIndex(1);
    const QTextDocument* shown = static_cast<RtfItemView&>(*viewer.views()[1]).editor().document();
    viewer.setRecord(r);
    EXPECT_EQ(viewer.tabBar().currentIndex(), 1);
    EXPECT_EQ(static_cast<RtfItemView&>(*viewer.views()[1]).editor().document(), shown);
}

TEST(RecordViewerTest, ALargePictureScrollsBothWaysAndASmallOneSitsTopLeft) {
    RecordViewer viewer;
    viewer.resize(200, 150);
    viewer.show();
    std::vector<std::unique_ptr<cb::Item>> large;
    large.push_back(pictureItem(800, 600));
    viewer.setRecord(recordOf(std::move(large)));
    auto& view = static_cast<BitmapItemView&>(*viewer.views()[2]);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.pictureSize(), QSize(800, 600));
    EXPECT_GT(view.area().horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(view.area().verticalScrollBar()->maximum(), 0);

    std::vector<std::unique_ptr<cb::Item>> small;
    small.push_back(pictureItem(20, 10));
    viewer.setRecord(recordOf(std::move(small)));
    QCoreApplication::processEvents();
    EXPECT_EQ(view.area().widget()->geometry(), QRect(0, 0, 20, 10));
}

TEST(RtfReaderTest, ShowsFormattedText) {
    QTextDocument document;
    readRtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier New;}}"
            "{\\colortbl;\\red255\\green0\\blue0;}"
            "\\f1\\fs40 {\\b bold}{\\i italic}{\\ul under}\\par"
            "{\\cf1 red} caf\\'e9 \\u8364? euro\\line x\\par"
            "\\trowd a\\cell b\\cell\\row}",
            document);
    // A line break shows as a line separator, which plain text gives as a new line.
    EXPECT_EQ(document.toPlainText().toStdString(),
              "bolditalicunder\nred caf\u00e9 \u20ac euro\nx\na\tb\t\n");
    auto formatAt = [&](int position) {
        QTextCursor cursor(&document);
        cursor.setPosition(position + 1);
        return cursor.charFormat();
    };
    EXPECT_EQ(formatAt(0).fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(formatAt(0).fontPointSize(), 20.0);
    EXPECT_TRUE(formatAt(0).fontFamilies().toStringList().contains("Courier New"));
    EXPECT_TRUE(formatAt(4).fontItalic());
    EXPECT_NE(formatAt(4).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(10).fontUnderline());
    EXPECT_EQ(formatAt(16).foreground().color(), QColor(255, 0, 0));
}

TEST(RtfReaderTest, HostileInputGivesADocumentWithoutACrash) {
    const std::string deep = std::string(100000, '{') + "deep" + std::string(5, '}');
    const std::string cases[] = {
        deep,
        "{\\rtf1\\fs999999999999999999999 big\\cf99999999 \\u-99999999999? \\uc999999999 x}",
        "{\\rtf1{\\b bold",              // truncated in a group
        "{\\rtf1 \\'",                   // truncated in an escape
        "{\\rtf1 \\'zz\\u",              // a bad escape and a bare \u
        "}}}}{\\rtf1 text}",             // closing more than opened
        "{\\rtf1\\bin999999999 abc}",    // binary data longer than the input
        "{\\rtf1{\\colortbl" + std::string(5000, ';') + "}\\cf4999 x}",
        std::string(2000, '\\'),
    };
    for (const std::string& rtf : cases) {
        QTextDocument document;
        readRtf(rtf, document);
        (void)document.toPlainText();
    }
    QTextDocument document;
    readRtf(deep, document);
    EXPECT_EQ(document.toPlainText(), "deep");
}

}  // namespace
