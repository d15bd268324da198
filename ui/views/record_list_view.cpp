#include "ui/views/record_list_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

RecordListView::RecordListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);  // a list of a thousand rows lays out at once
    setResizeMode(QListView::Adjust);
    setTextElideMode(Qt::ElideRight);
    setMouseTracking(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Button);
    viewport()->setBackgroundRole(QPalette::Button);
}

int RecordListView::rowAt(const QPoint& viewportPos) const {
    const QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

bool RecordListView::isBelowLastRow(const QPoint& viewportPos) const {
    const int rows = model() ? model()->rowCount() : 0;
    if (rows == 0) return true;
    const QRect last = visualRect(model()->index(rows - 1, 0));
    return viewportPos.y() >= last.bottom() + 1;
}

void RecordListView::repaintRow(int row) {
    if (row >= 0 && model() && row < model()->rowCount())
        viewport()->update(visualRect(model()->index(row, 0)));
}

void RecordListView::setHotRow(int row) {
    if (row == hotRow_) return;
    repaintRow(hotRow_);
    hotRow_ = row;
    repaintRow(hotRow_);
    // The next tip belongs to the new row.
    QToolTip::hideText();
}

void RecordListView::setDropRow(int row) {
    if (row == dropRow_) return;
    repaintRow(dropRow_);
    dropRow_ = row;
    repaintRow(dropRow_);
}

void RecordListView::mouseMoveEvent(QMouseEvent* event) {
    setHotRow(rowAt(event->position().toPoint()));
    QListView::mouseMoveEvent(event);
}

void RecordListView::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        const int row = rowAt(event->position().toPoint());
        if (row >= 0) emit rowClicked(row);
    }
}

void RecordListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        const int row = rowAt(event->position().toPoint());
        if (row >= 0) emit rowDoubleClicked(row);
    }
}

void RecordListView::leaveEvent(QEvent* event) {
    setHotRow(-1);
    QListView::leaveEvent(event);
}

void RecordListView::contextMenuEvent(QContextMenuEvent* event) {
    int row = -1;
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        row = rowAt(viewport()->mapFromGlobal(event->globalPos()));
    } else if (currentIndex().isValid()) {
        // From the keyboard: the menu of the current row, at that row.
        row = currentIndex().row();
        global = viewport()->mapToGlobal(visualRect(currentIndex()).center());
    }
    // Below the rows there is no menu.
    if (row >= 0) emit rowContextMenu(row, global);
    event->accept();
}

bool RecordListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int row = rowAt(help->pos());
        setHotRow(row);
        const QString tip =
            row >= 0 ? model()->index(row, 0).data(Qt::ToolTipRole).toString() : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            // Beside the pointer, never under it; hidden when the pointer leaves the row.
            QToolTip::showText(help->globalPos(), tip, viewport(),
                               visualRect(model()->index(row, 0)));
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

void RecordListView::startDrag(Qt::DropActions) {
    if (startDragHandler) startDragHandler();
}

void RecordListView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void RecordListView::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint pos = event->position().toPoint();
    const Qt::DropAction action = dragOverHandler && event->mimeData()
                                      ? dragOverHandler(*event->mimeData(), pos)
                                      : Qt::IgnoreAction;
    if (action == Qt::IgnoreAction) {
        setDropRow(-1);
        event->ignore();
        return;
    }
    setDropRow(rowAt(pos));
    event->setDropAction(action);
    event->accept();
}

void RecordListView::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropRow(-1);
    event->accept();
}

void RecordListView::dropEvent(QDropEvent* event) {
    setDropRow(-1);
    const bool done = dropHandler && event->mimeData() &&
                      dropHandler(*event->mimeData(), event->position().toPoint());
    if (done) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
    }
}
