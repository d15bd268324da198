#include "ui/common/modal_guard.h"

#include <QDialog>
#include <QMenu>
#include <QWidget>

#include "ui/common/window_class.h"

class ModalGuard::OpenScope {
public:
    OpenScope(QPointer<QWidget>& record, QWidget* window) : record_(record) { record_ = window; }
    ~OpenScope() { record_ = nullptr; }
    OpenScope(const OpenScope&) = delete;
    OpenScope& operator=(const OpenScope&) = delete;

private:
    QPointer<QWidget>& record_;
};

ModalGuard::ModalGuard(QWidget* mainWindow) : mainWindow_(mainWindow) {}

bool ModalGuard::bringToFront() {
    QWidget* window = open_;
    if (window == nullptr)
        return false;
    if (window->isMinimized())
        window->showNormal();
    else if (!window->isVisible())
        window->show();
    window->raise();
    window->activateWindow();
    return true;
}

std::optional<int> ModalGuard::runModal(QDialog& dialog) {
    if (bringToFront())
        return std::nullopt;
    setWindowInstanceName(dialog, "quillet-dialog");
    OpenScope scope(open_, &dialog);
    return dialog.exec();
}

std::optional<QMessageBox::StandardButton> ModalGuard::messageBox(
    const QString& text, const QString& title, QMessageBox::Icon icon,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    if (bringToFront())
        return std::nullopt;
    QMessageBox box(icon, title, text, buttons, mainWindow_);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    setWindowInstanceName(box, "quillet-dialog");
    OpenScope scope(open_, &box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QAction*> ModalGuard::popupMenu(QMenu& menu, const QPoint& globalPos) {
    if (bringToFront())
        return std::nullopt;
    setWindowInstanceName(menu, "quillet-menu");
    OpenScope scope(open_, &menu);
    return menu.exec(globalPos);
}
