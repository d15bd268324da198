#include "ui/dialogs/dialog_support.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>

namespace dialogs {

void showError(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, owner);
    box.exec();
}

std::optional<unsigned> readUnsigned(QLineEdit* box, unsigned max) {
    const QString text = box->text();
    bool ok = !text.isEmpty();
    for (QChar c : text) ok = ok && c >= u'0' && c <= u'9';
    unsigned long long value = 0;
    if (ok) value = text.toULongLong(&ok);  // too many digits fails here too
    if (!ok || value > max) {
        QApplication::beep();
        box->setFocus(Qt::OtherFocusReason);
        return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

QIcon applicationIcon() {
    const QIcon own = QApplication::windowIcon();
    return own.isNull() ? QIcon::fromTheme(QStringLiteral("edit-paste")) : own;
}

}  // namespace dialogs
