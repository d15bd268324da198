#pragma once

#include <QListView>

class QMimeData;

// The list control of a record list window: one column as wide as the view, no horizontal
// scroll bar, the row under the pointer tracked (hot row), the row under a drag highlighted
// (drop row), a tooltip with the start of the hot row's text beside the pointer. What drags,
// drops and menus do is up to the window that owns it.
class RecordListView final : public QListView {
    Q_OBJECT
public:
    explicit RecordListView(QWidget* parent = nullptr);

    int hotRow() const { return hotRow_; }
    int dropRow() const { return dropRow_; }
    void setDropRow(int row);

    // The row at a point of the viewport; -1 on empty space.
    int rowAt(const QPoint& viewportPos) const;
    // Whether the point lies below the last row (anywhere, for an empty list).
    bool isBelowLastRow(const QPoint& viewportPos) const;

    // The window decides whether a drag may start and what it carries.
    std::function<void()> startDragHandler;
    // Return the effect a drag over the point would have (Qt::IgnoreAction to refuse).
    std::function<Qt::DropAction(const QMimeData&, const QPoint&)> dragOverHandler;
    std::function<bool(const QMimeData&, const QPoint&)> dropHandler;

signals:
    void rowContextMenu(int row, const QPoint& globalPos);
    void rowClicked(int row);
    void rowDoubleClicked(int row);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setHotRow(int row);
    void repaintRow(int row);

    int hotRow_ = -1;
    int dropRow_ = -1;
};
