#pragma once

#include <QDialog>

class AppConfig;
class QCheckBox;
class QLineEdit;
namespace cb {
class History;
class RecordList;
}  // namespace cb

// "Record List Properties": a list's name, maximum count and its two rules. A rename carries
// the trusted clients that deliver into the list along, so received records keep arriving.
class RecordListPropertyDlg : public QDialog {
    Q_OBJECT
public:
    RecordListPropertyDlg(cb::RecordList& list, cb::History& history, AppConfig& config,
                          QWidget* owner);

    void accept() override;

private:
    cb::RecordList& list_;
    cb::History& history_;
    AppConfig& config_;
    QLineEdit* name_;
    QLineEdit* maxCount_;
    QCheckBox* discardOld_;
    QCheckBox* moveToFront_;
};
