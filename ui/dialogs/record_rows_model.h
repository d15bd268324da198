#pragma once

#include <QAbstractListModel>
#include <vector>

#include "model/record.h"

namespace cb {
class RecordList;
}

// The records of a list as they stood when a dialog opened, one row each, showing the record's
// text on one line. The rows hold shared references, so a record removed from the list while the
// dialog is open is still the one the user picked.
class RecordRowsModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit RecordRowsModel(const cb::RecordList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const cb::RecordPtr& record(int row) const { return records_.at(static_cast<size_t>(row)); }

private:
    std::vector<cb::RecordPtr> records_;
};
