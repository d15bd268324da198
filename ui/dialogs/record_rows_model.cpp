#include "ui/dialogs/record_rows_model.h"

#include "model/record_list.h"
#include "ui/dialogs/dialog_support.h"

RecordRowsModel::RecordRowsModel(const cb::RecordList& list, QObject* parent)
    : QAbstractListModel(parent), records_(list.records().begin(), list.records().end()) {}

int RecordRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

QVariant RecordRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const cb::RecordPtr& r = record(index.row());
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        QString text = dialogs::fromU16(r->text()).simplified();
        constexpr int kShown = 200;
        if (text.size() > kShown) text = text.left(kShown) + QStringLiteral("...");
        return text;
    }
    if (role == Qt::ToolTipRole) return dialogs::fromU16(r->text()).left(1000);
    return {};
}
