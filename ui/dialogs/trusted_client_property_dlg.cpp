#include "ui/dialogs/trusted_client_property_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QStringList>

#include "model/history.h"
#include "model/search_list.h"
#include "ui/dialogs/dialog_support.h"

TrustedClientPropertyDlg::TrustedClientPropertyDlg(TrustedClient& client,
                                                   const cb::History& history, QWidget* owner)
    : QDialog(owner), client_(client) {
    setWindowTitle(QStringLiteral("Trusted Client"));
    host_ = new QLineEdit(dialogs::fromUtf8(client.host), this);
    host_->setObjectName(QStringLiteral("host"));
    host_->setAccessibleName(QStringLiteral("Host"));
    user_ = new QLineEdit(dialogs::fromUtf8(client.user), this);
    user_->setObjectName(QStringLiteral("user"));
    user_->setAccessibleName(QStringLiteral("User"));
    list_ = new QComboBox(this);
    list_->setObjectName(QStringLiteral("list"));
    list_->setAccessibleName(QStringLiteral("List"));

    // Search results are rebuilt at every search; records sent to one would vanish.
    QStringList names;
    for (const cb::RecordList* list : history.lists())
        if (!dynamic_cast<const SearchList*>(list)) names << dialogs::fromU16(list->name());
    names.sort(Qt::CaseInsensitive);
    list_->addItems(names);
    // A list that has been renamed or removed since is not silently replaced by another one.
    list_->setCurrentIndex(names.indexOf(dialogs::fromUtf8(client.listName)));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Host:"), host_);
    form->addRow(QStringLiteral("User:"), user_);
    form->addRow(QStringLiteral("List:"), list_);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TrustedClientPropertyDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TrustedClientPropertyDlg::accept() {
    if (host_->text().isEmpty()) {
        dialogs::showError(this, QStringLiteral("Host can not be empty!"));
        host_->setFocus();
        return;
    }
    if (user_->text().isEmpty()) {
        dialogs::showError(this, QStringLiteral("User can not be empty!"));
        user_->setFocus();
        return;
    }
    if (list_->currentIndex() < 0 || list_->currentText().isEmpty()) {
        dialogs::showError(this, QStringLiteral("List can not be empty!"));
        list_->setFocus();
        return;
    }
    client_.host = dialogs::toUtf8(host_->text());
    client_.user = dialogs::toUtf8(user_->text());
    client_.listName = dialogs::toUtf8(list_->currentText());
    QDialog::accept();
}
