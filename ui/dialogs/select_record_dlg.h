#pragma once

#include "ui/dialogs/record_picker_dlg.h"

// "Select Records": the user picks records of a list (for Multiple Delete); after OK the caller
// reads them with chosenRecords().
class SelectRecordDlg : public RecordPickerDlg {
    Q_OBJECT
public:
    SelectRecordDlg(const cb::RecordList& list, const QString& prompt, QWidget* owner);

    void accept() override;
    const std::vector<cb::RecordPtr>& chosenRecords() const { return chosen_; }

private:
    std::vector<cb::RecordPtr> chosen_;
};
