#pragma once

#include <QStyledItemDelegate>

class AppIconProvider;
class RecordListView;

// Draws one row: the button-face background, the source program's icon, the trimmed text on one
// line with an ellipsis, the highlight of a selected or drop-highlighted row, a sunken edge
// around the selected row and a raised edge around the row under the pointer.
class RecordListDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    RecordListDelegate(RecordListView& view, AppIconProvider& icons);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kIconSize = 16;

private:
    RecordListView& view_;
    AppIconProvider& icons_;
};
