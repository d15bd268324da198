#include "ui/dialogs/about_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/dialogs/dialog_support.h"

QString AboutDlg::versionText() {
    return QStringLiteral("%1.%2.0 - beta %3").arg(4).arg(1).arg(3);
}

AboutDlg::AboutDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("About Quillet"));
    auto* icon = new QLabel(this);
    icon->setPixmap(dialogs::applicationIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignCenter);
    auto* line = new QLabel(QStringLiteral("Quillet ") + versionText(), this);
    line->setObjectName(QStringLiteral("productLine"));
    line->setAlignment(Qt::AlignCenter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setCenterButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(icon);
    layout->addWidget(line);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}
