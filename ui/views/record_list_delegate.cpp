#include "ui/views/record_list_delegate.h"

#include <QApplication>
#include <QPainter>
#include <qdrawutil.h>

#include "ui/views/app_icon_provider.h"
#include "ui/views/record_list_model.h"
#include "ui/views/record_list_view.h"

RecordListDelegate::RecordListDelegate(RecordListView& view, AppIconProvider& icons)
    : QStyledItemDelegate(&view), view_(view), icons_(icons) {}

QSize RecordListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int text = option.fontMetrics.height();
    return {option.rect.width(), std::max(kIconSize, text) + 2};
}

void RecordListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const QPalette& palette = option.palette;
    const QRect bounds = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool highlighted = selected || index.row() == view_.dropRow();

    painter->save();
    painter->fillRect(bounds, palette.button());

    const QRect iconRect(bounds.left() + 2, bounds.top() + (bounds.height() - kIconSize) / 2,
                         kIconSize, kIconSize);
    const QRect textRect = bounds.adjusted(kIconSize + 5, 0, 0, 0);
    if (highlighted) painter->fillRect(textRect, palette.highlight());

    const QString application = index.data(RecordListModel::ApplicationRole).toString();
    icons_.iconFor(application).paint(painter, iconRect);

    painter->setFont(option.font);
    painter->setPen(highlighted ? palette.highlightedText().color() : palette.buttonText().color());
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect inner = textRect.adjusted(2, 0, -2, 0);
    painter->drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(text, Qt::ElideRight, inner.width()));

    if (selected)
        qDrawShadeRect(painter, bounds, palette, true, 1);
    else if (index.row() == view_.hotRow())
        qDrawShadeRect(painter, bounds, palette, false, 1);
    painter->restore();
}
