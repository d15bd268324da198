#include "ui/dialogs/record_picker_dlg.h"

#include <QListView>
#include <algorithm>

#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/record_rows_model.h"

RecordPickerDlg::RecordPickerDlg(const cb::RecordList& list, QWidget* owner) : QDialog(owner) {
    setSizeGripEnabled(true);
    setWindowIcon(dialogs::applicationIcon());
    model_ = new RecordRowsModel(list, this);
    view_ = new QListView(this);
    view_->setObjectName(QStringLiteral("records"));
    view_->setAccessibleName(QStringLiteral("Records"));
    view_->setModel(model_);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setUniformItemSizes(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void RecordPickerDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!sized_) {
        sized_ = true;
        setMinimumSize(size());
    }
}

std::vector<cb::RecordPtr> RecordPickerDlg::selectedRecords() const {
    QModelIndexList rows = view_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<cb::RecordPtr> records;
    records.reserve(static_cast<size_t>(rows.size()));
    for (const QModelIndex& row : rows) records.push_back(model_->record(row.row()));
    return records;
}
