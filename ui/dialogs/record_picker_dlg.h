#pragma once

#include <QDialog>
#include <vector>

#include "model/record.h"

class QListView;
class RecordRowsModel;
namespace cb {
class RecordList;
}

// What the two resizable dialogs that pick records from a list share: the list with several
// rows selectable, a size grip, and a minimum size that is the size they open with.
class RecordPickerDlg : public QDialog {
    Q_OBJECT
public:
    // The selected records, in row order.
    std::vector<cb::RecordPtr> selectedRecords() const;
    QListView* recordView() const { return view_; }

protected:
    RecordPickerDlg(const cb::RecordList& list, QWidget* owner);
    void showEvent(QShowEvent* event) override;

private:
    RecordRowsModel* model_;
    QListView* view_;
    bool sized_ = false;
};
