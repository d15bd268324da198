#include "ui/dialogs/record_list_property_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "model/history.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "ui/dialogs/dialog_support.h"

RecordListPropertyDlg::RecordListPropertyDlg(cb::RecordList& list, cb::History& history,
                                             AppConfig& config, QWidget* owner)
    : QDialog(owner), list_(list), history_(history), config_(config) {
    setWindowTitle(QStringLiteral("Record List Properties"));
    name_ = new QLineEdit(dialogs::fromU16(list.name()), this);
    name_->setObjectName(QStringLiteral("name"));
    name_->setAccessibleName(QStringLiteral("Name"));
    maxCount_ = new QLineEdit(QString::number(list.maxCount()), this);
    maxCount_->setObjectName(QStringLiteral("maxCount"));
    maxCount_->setAccessibleName(QStringLiteral("Max record count"));
    maxCount_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), maxCount_));
    discardOld_ = new QCheckBox(
        QStringLiteral("Discard old records when max record count is reached."), this);
    discardOld_->setObjectName(QStringLiteral("discardOld"));
    discardOld_->setChecked(list.discardOld());
    moveToFront_ =
        new QCheckBox(QStringLiteral("Move pasted record to the front of the list."), this);
    moveToFront_->setObjectName(QStringLiteral("moveToFront"));
    moveToFront_->setChecked(list.moveToFront());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Name:"), name_);
    form->addRow(QStringLiteral("Max record count:"), maxCount_);
    form->addRow(discardOld_);
    form->addRow(moveToFront_);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordListPropertyDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void RecordListPropertyDlg::accept() {
    const QString name = name_->text();
    if (name.isEmpty()) {
        dialogs::showError(this, QStringLiteral("Name can not be empty!"));
        name_->setFocus();
        return;
    }
    const std::u16string newName = dialogs::toU16(name);
    for (const cb::RecordList* other : history_.lists()) {
        if (other != &list_ && other->name() == newName) {
            dialogs::showError(this,
                               QStringLiteral("The name of the record list is already in the "
                                              "record history!"));
            name_->setFocus();
            return;
        }
    }
    bool isNumber = false;
    unsigned count = maxCount_->text().toUInt(&isNumber);
    if (!isNumber) count = 0;
    if (count < 1 || count > cb::RecordList::kMaxRecords) {
        dialogs::showError(this, QStringLiteral("Max record count must be in 1 ~ 1000!"));
        maxCount_->setFocus();
        return;
    }

    const std::string oldName = list_.nameUtf8();
    list_.setName(newName);
    list_.setMaxCount(count);
    list_.setDiscardOld(discardOld_->isChecked());
    list_.setMoveToFront(moveToFront_->isChecked());
    // Tabs and menus that show the list's name follow.
    if (history_.indexOf(&list_) >= 0) history_.notifyListChanged(&list_);

    // Clients that deliver into this list follow it to its new name.
    TrustedClientList clients = config_.trustedClientsCopy();
    bool followed = false;
    for (TrustedClient& client : clients.clients) {
        if (client.listName == oldName) {
            client.listName = list_.nameUtf8();
            followed = true;
        }
    }
    if (followed) config_.setTrustedClients(std::move(clients));
    QDialog::accept();
}
