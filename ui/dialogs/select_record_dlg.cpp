#include "ui/dialogs/select_record_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

SelectRecordDlg::SelectRecordDlg(const cb::RecordList& list, const QString& prompt,
                                 QWidget* owner)
    : RecordPickerDlg(list, owner) {
    setWindowTitle(QStringLiteral("Select Records"));
    auto* label = new QLabel(prompt, this);
    label->setObjectName(QStringLiteral("prompt"));
    label->setBuddy(recordView());
    recordView()->setAccessibleName(prompt);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(recordView(), 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SelectRecordDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(420, 560);
}

void SelectRecordDlg::accept() {
    chosen_ = selectedRecords();
    QDialog::accept();
}
