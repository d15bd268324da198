#include "ui/dialogs/first_run_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "persist/config/app_config.h"

FirstRunDlg::FirstRunDlg(AppConfig& config, QWidget* owner) : QDialog(owner), config_(config) {
    setWindowTitle(QStringLiteral("Quillet"));
    checkNewVersion_ = new QCheckBox(QStringLiteral("Automatically check for new version?"), this);
    checkNewVersion_->setObjectName(QStringLiteral("checkNewVersion"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setCenterButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(checkNewVersion_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &FirstRunDlg::accept);
}

void FirstRunDlg::accept() {
    config_.setBool(kOptCheckForNewVersion, checkNewVersion_->isChecked());
    QDialog::accept();
}
