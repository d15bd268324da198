#include "ui/dialogs/multi_paster_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QListView>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "ui/dialogs/dialog_support.h"

MultiPasterDlg::MultiPasterDlg(const cb::RecordList& list, AppConfig& config, PasteText paste,
                               QWidget* owner)
    : RecordPickerDlg(list, owner), config_(config), paste_(std::move(paste)) {
    setWindowTitle(QStringLiteral("Paste Records"));
    insertText_ = new QCheckBox(QStringLiteral("Insert text between records:"), this);
    insertText_->setObjectName(QStringLiteral("insertText"));
    separator_ = new QPlainTextEdit(this);
    separator_->setObjectName(QStringLiteral("separator"));
    separator_->setAccessibleName(QStringLiteral("Text between records"));
    separator_->setTabChangesFocus(true);
    separator_->setPlainText(dialogs::fromU16(config.getString(kOptTextBetween)));
    insertText_->setChecked(config.getBool(kOptInsertTextBetween));
    separator_->setEnabled(insertText_->isChecked());
    connect(insertText_, &QCheckBox::toggled, separator_, &QWidget::setEnabled);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setCenterButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(recordView(), 1);
    layout->addWidget(insertText_);
    layout->addWidget(separator_);
    layout->addWidget(buttons);
    separator_->setFixedHeight(separator_->fontMetrics().lineSpacing() * 4 + 12);
    connect(buttons, &QDialogButtonBox::accepted, this, &MultiPasterDlg::accept);
    resize(460, 620);
}

std::u16string MultiPasterDlg::joinTexts(const std::vector<cb::RecordPtr>& records,
                                         bool separate, const std::u16string& separator) {
    std::u16string text;
    for (const cb::RecordPtr& record : records) {
        text += record->text();
        if (separate) text += separator;
    }
    return text;
}

void MultiPasterDlg::accept() {
    const std::u16string separator = dialogs::toU16(separator_->toPlainText());
    const bool separate = insertText_->isChecked();
    config_.setString(kOptTextBetween, separator);
    config_.setBool(kOptInsertTextBetween, separate);
    const std::u16string text = joinTexts(selectedRecords(), separate, separator);
    // Closed first: the paste goes to the window the user was typing in, not to this dialog.
    QDialog::accept();
    if (paste_) paste_(text);
}

void MultiPasterDlg::pasteAll(const cb::RecordList& list, const AppConfig& config,
                              const PasteText& paste) {
    const std::vector<cb::RecordPtr> records(list.records().begin(), list.records().end());
    const std::u16string text = joinTexts(records, config.getBool(kOptInsertTextBetween),
                                          config.getString(kOptTextBetween));
    if (paste) paste(text);
}
