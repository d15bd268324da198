#pragma once

#include <QWidget>

#include "model/record_list.h"
#include "ui/views/view_context.h"

class QMimeData;
class RecordListModel;
class RecordListView;

// One record list as rows, kept in step with the list. Single selection that stays on the same
// record through insertions, removals and moves to the front; records dragged out carry every
// format they have; records dropped from a list of this program are moved here.
class RecordListWindow : public QWidget {
    Q_OBJECT
public:
    // The list outlives the window.
    RecordListWindow(cb::RecordList& list, ViewContext& context, QWidget* parent = nullptr);
    ~RecordListWindow() override;

    cb::RecordList& list() const { return list_; }
    RecordListView& view() const { return *view_; }
    RecordListModel& model() const { return *model_; }

    int rowCount() const;
    // -1 when no row is selected (the first selected row in a multi-selection).
    int selectedRow() const;
    std::vector<int> selectedRows() const;
    cb::RecordPtr recordAt(int row) const;
    cb::RecordPtr selectedRecord() const { return recordAt(selectedRow()); }
    // Selects (and focuses) the row, and scrolls it into view; -1 clears the selection.
    void selectRow(int row);
    void scrollToRow(int row);

    // The drop rules: whether data dragged over the window would be accepted, and the drop at
    // a point of the view's viewport. True when something moved.
    bool acceptsDrop(const QMimeData& data) const;
    bool dropAt(const QMimeData& data, const QPoint& viewportPos);

    // Lets go of the list, which is about to be deleted; the window shows nothing afterwards.
    virtual void detachFromList();
    bool detached() const { return detached_; }

signals:
    // The selected row changed (what the main frame follows).
    void selectionChanged();
    // Rows were added or removed.
    void rowCountChanged();
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    void rowContextMenu(int row, const QPoint& globalPos);

protected:
    // Whether rows of this window are dragged out and right clicks passed on.
    virtual bool dragsOut() const { return true; }
    virtual bool passesContextMenus() const { return true; }
    // Whether the selection is kept on the same record when a selected row is removed.
    virtual bool keepsSelection() const { return true; }
    // Places the children for the client size.
    virtual void layoutChildren();
    void resizeEvent(QResizeEvent* event) override;
    ViewContext& context() const { return context_; }

private:
    void startDrag();
    void beforeRowRemoved(int row);
    void afterRowRemoved(int row);

    cb::RecordList& list_;
    ViewContext& context_;
    RecordListModel* model_;
    RecordListView* view_;
    int selectedBeforeRemoval_ = -1;
    bool detached_ = false;
};

// Several rows can be selected; nothing is dragged out and right clicks stay here. Used by the
// selection dialogs.
class MultiSelectionListWindow final : public RecordListWindow {
    Q_OBJECT
public:
    MultiSelectionListWindow(cb::RecordList& list, ViewContext& context, QWidget* parent = nullptr);

protected:
    bool dragsOut() const override { return false; }
    bool passesContextMenus() const override { return false; }
    bool keepsSelection() const override { return false; }
};
