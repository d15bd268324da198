#include "ui/dialogs/new_version_dlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

NewVersionDlg::NewVersionDlg(const QString& downloadLink, QWidget* owner)
    : QDialog(owner), link_(downloadLink) {
    setWindowTitle(QStringLiteral("Quillet - New Version"));
    auto* text = new QLabel(QStringLiteral("New version of Quillet is available. \nPlease download "
                                           "it from the following link:"),
                            this);
    auto* link = new QLabel(this);
    link->setObjectName(QStringLiteral("downloadLink"));
    // The server's word is shown as a label only; the target is opened, never interpreted here.
    link->setText(QStringLiteral("<a href=\"%1\">Download new version</a>")
                      .arg(downloadLink.toHtmlEscaped()));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setAccessibleName(QStringLiteral("Download new version"));
    link->setToolTip(downloadLink);
    connect(link, &QLabel::linkActivated, this, [this] {
        const QUrl url(link_, QUrl::StrictMode);
        // Only web addresses: a reply from the network must not start local programs or files.
        if (url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https"))
            QDesktopServices::openUrl(url);
    });
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    buttons->setCenterButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(link);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
