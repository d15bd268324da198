#include "ui/views/record_list_window.h"

#include <QDrag>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QResizeEvent>

#include "model/search_list.h"
#include "ui/views/record_drag_data.h"
#include "ui/views/record_list_delegate.h"
#include "ui/views/record_list_model.h"
#include "ui/views/record_list_view.h"

RecordListWindow::RecordListWindow(cb::RecordList& list, ViewContext& context, QWidget* parent)
    : QWidget(parent),
      list_(list),
      context_(context),
      model_(new RecordListModel(list, this)),
      view_(new RecordListView(this)) {
    setAccessibleName(QString::fromStdU16String(list.name()));
    view_->setAccessibleName(tr("Records"));
    view_->setModel(model_);
    view_->setItemDelegate(new RecordListDelegate(*view_, context.icons));

    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecordListWindow::selectionChanged);
    connect(view_, &RecordListView::rowClicked, this, &RecordListWindow::rowClicked);
    connect(view_, &RecordListView::rowDoubleClicked, this, &RecordListWindow::rowDoubleClicked);
    connect(view_, &RecordListView::rowContextMenu, this, [this](int row, const QPoint& pos) {
        if (passesContextMenus()) emit rowContextMenu(row, pos);
    });
    connect(model_, &RecordListModel::rowInserted, this, [this](int row) { scrollToRow(row); });
    connect(model_, &RecordListModel::rowAboutToBeRemoved, this,
            &RecordListWindow::beforeRowRemoved);
    connect(model_, &RecordListModel::rowRemoved, this, &RecordListWindow::afterRowRemoved);
    connect(model_, &RecordListModel::rowMovedToFront, this, [this](int) {
        // The selection models carries the selection along with its record; when that record
        // is the one moved, row 0 is brought into view.
        if (selectedRow() == 0) scrollToRow(0);
        view_->viewport()->update();
    });
    connect(model_, &RecordListModel::rowsReset, this, [this] { scrollToRow(0); });

    connect(model_, &QAbstractItemModel::rowsInserted, this, &RecordListWindow::rowCountChanged);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &RecordListWindow::rowCountChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, &RecordListWindow::rowCountChanged);

    view_->startDragHandler = [this] { startDrag(); };
    view_->dragOverHandler = [this](const QMimeData& data, const QPoint&) {
        return acceptsDrop(data) ? Qt::MoveAction : Qt::IgnoreAction;
    };
    view_->dropHandler = [this](const QMimeData& data, const QPoint& pos) {
        return dropAt(data, pos);
    };
}

RecordListWindow::~RecordListWindow() {
    // The model and the view go with the children, after this window's own part is gone.
    model_->disconnect(this);
    view_->selectionModel()->disconnect(this);
}

int RecordListWindow::rowCount() const { return model_->rowCount(); }

int RecordListWindow::selectedRow() const {
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> RecordListWindow::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

cb::RecordPtr RecordListWindow::recordAt(int row) const { return model_->recordAt(row); }

void RecordListWindow::selectRow(int row) {
    if (row < 0 || row >= rowCount()) {
        view_->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = model_->index(row, 0);
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    view_->scrollTo(index);
}

void RecordListWindow::scrollToRow(int row) {
    if (row >= 0 && row < rowCount()) view_->scrollTo(model_->index(row, 0));
}

void RecordListWindow::beforeRowRemoved(int) {
    selectedBeforeRemoval_ = keepsSelection() ? selectedRow() : -1;
}

void RecordListWindow::afterRowRemoved(int row) {
    const int selected = selectedBeforeRemoval_;
    selectedBeforeRemoval_ = -1;
    if (selected < 0) return;
    // A row removed before the selection leaves it on the same record, one row up; the removed
    // selected row hands the selection to the record that takes its place (or the one before
    // it at the end).
    int next = selected;
    if (row < selected || selected >= rowCount()) next = selected - 1;
    if (next >= 0) selectRow(next);
}

bool RecordListWindow::acceptsDrop(const QMimeData& data) const {
    const auto dragged = readRecordTag(data);
    if (!dragged) return false;
    const bool sourceSearches = dynamic_cast<SearchList*>(dragged->list) != nullptr;
    const bool targetSearches = dynamic_cast<SearchList*>(&list_) != nullptr;
    return (!sourceSearches && !targetSearches) || dragged->list == &list_;
}

bool RecordListWindow::dropAt(const QMimeData& data, const QPoint& viewportPos) {
    if (detached_ || !acceptsDrop(data)) return false;
    const auto dragged = readRecordTag(data);
    int target = view_->rowAt(viewportPos);
    if (target < 0) {
        if (!view_->isBelowLastRow(viewportPos)) return false;
        target = static_cast<int>(list_.count());
    }
    if (dragged->list == &list_) {
        const int from = list_.indexOf(dragged->record);
        return from >= 0 && list_.move(static_cast<size_t>(from), static_cast<size_t>(target));
    }
    if (!list_.insert(dragged->record, static_cast<size_t>(target))) return false;
    dragged->list->remove(dragged->record);
    return true;
}

void RecordListWindow::startDrag() {
    if (!dragsOut()) return;
    const QModelIndex current = view_->currentIndex();
    const cb::RecordPtr record = recordAt(current.isValid() ? current.row() : selectedRow());
    if (!record) return;
    auto* drag = new QDrag(view_);
    drag->setMimeData(makeRecordMimeData(*record, &list_).release());
    // The outcome does not matter here: moves between lists are done by the receiving list.
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void RecordListWindow::detachFromList() {
    detached_ = true;
    model_->detach();
}

void RecordListWindow::layoutChildren() { view_->setGeometry(rect()); }

void RecordListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

MultiSelectionListWindow::MultiSelectionListWindow(cb::RecordList& list, ViewContext& context,
                                                   QWidget* parent)
    : RecordListWindow(list, context, parent) {
    view().setSelectionMode(QAbstractItemView::ExtendedSelection);
    view().setDragEnabled(false);
}
