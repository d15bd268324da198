#include "ui/dialogs/host_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "ui/dialogs/dialog_support.h"

HostDlg::HostDlg(QWidget* owner, const QString& host, unsigned port) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Host"));
    host_ = new QLineEdit(host, this);
    host_->setObjectName(QStringLiteral("host"));
    host_->setAccessibleName(QStringLiteral("Host"));
    port_ = new QLineEdit(QString::number(port), this);
    port_->setObjectName(QStringLiteral("port"));
    port_->setAccessibleName(QStringLiteral("Port"));
    port_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port_));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Host:"), host_);
    form->addRow(QStringLiteral("Port:"), port_);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &HostDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void HostDlg::accept() {
    const std::optional<unsigned> port = dialogs::readUnsigned(port_, 65535);
    if (!port) return;
    // Blanks are a host as far as this check goes; the user typed them.
    if (host_->text().isEmpty()) {
        dialogs::showError(this, QStringLiteral("Host can not be empty!"));
        host_->setFocus();
        return;
    }
    address_ = NetworkAddress(dialogs::toUtf8(host_->text()), static_cast<int32_t>(*port));
    QDialog::accept();
}
