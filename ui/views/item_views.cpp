#include "ui/views/item_views.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTextEdit>
#include <algorithm>

#include "model/item_type.h"
#include "ui/views/rtf_reader.h"

namespace {

// Pictures larger than this many pixels are not decoded for display.
constexpr qint64 kMaxPicturePixels = qint64{1} << 28;

}  // namespace

TextItemView::TextItemView(QWidget* parent) : edit_(new QPlainTextEdit(parent)) {
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setAccessibleName(QObject::tr("Text"));
    edit_->hide();
}
TextItemView::~TextItemView() = default;
QWidget* TextItemView::viewWindow() const { return edit_; }

void TextItemView::show(const cb::TextItem* item) {
    edit_->setPlainText(item ? QString::fromStdU16String(item->text()) : QString());
}

RtfItemView::RtfItemView(QWidget* parent) : edit_(new QTextEdit(parent)) {
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QTextEdit::WidgetWidth);
    edit_->setAccessibleName(QObject::tr("Rich text"));
    edit_->hide();
}
RtfItemView::~RtfItemView() = default;
QWidget* RtfItemView::viewWindow() const { return edit_; }

void RtfItemView::show(const cb::RtfItem* item) {
    auto* document = new QTextDocument(edit_);
    document->setDefaultFont(edit_->font());
    if (item) readRtf(item->block().view(), *document);
    edit_->setDocument(document);
}

BitmapItemView::BitmapItemView(QWidget* parent)
    : area_(new QScrollArea(parent)), picture_(new QLabel) {
    area_->setAccessibleName(QObject::tr("Picture"));
    area_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    area_->setWidgetResizable(false);
    area_->setBackgroundRole(QPalette::Dark);
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    area_->setWidget(picture_);
    area_->hide();
}
BitmapItemView::~BitmapItemView() = default;
QWidget* BitmapItemView::viewWindow() const { return area_; }
QSize BitmapItemView::pictureSize() const { return picture_->pixmap().size(); }

void BitmapItemView::show(const cb::BitmapItem* item) {
    QImage image;
    if (item && !item->png().empty()) {
        QByteArray bytes = QByteArray::fromRawData(item->png().view().data(),
                                                   static_cast<qsizetype>(item->png().size()));
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);  // the format is told by the content
        const QSize size = reader.size();
        if (size.isValid() && qint64{size.width()} * size.height() <= kMaxPicturePixels)
            image = reader.read();
    }
    picture_->setPixmap(QPixmap::fromImage(image));
    picture_->resize(image.size());
}

std::vector<const ItemViewType*> itemViewTypes() {
    static const ItemViewTypeImpl<TextItemView, cb::TextItem> text;
    static const ItemViewTypeImpl<RtfItemView, cb::RtfItem> rtf;
    static const ItemViewTypeImpl<BitmapItemView, cb::BitmapItem> bitmap;
    std::vector<const ItemViewType*> types = {&text, &rtf, &bitmap};
    // In the order of the item types' ids, whatever order the entries were made in.
    auto idOf = [](const ItemViewType* t) {
        const cb::ItemType* type = cb::findTypeByClass(t->itemClass());
        return type ? type->typeId() : INT32_MAX;
    };
    std::stable_sort(types.begin(), types.end(),
                     [&](const ItemViewType* a, const ItemViewType* b) { return idOf(a) < idOf(b); });
    return types;
}
