#include "ui/views/view_context.h"

#include "ui/common/modal_guard.h"

void useModalGuard(ViewActions& actions, ModalGuard& guard) {
    actions.modalWindowOpen = [&guard] { return guard.bringToFront(); };
    actions.runModal = [&guard](QDialog& dialog) {
        return guard.runModal(dialog).value_or(QDialog::Rejected);
    };
    actions.messageBox = [&guard](QMessageBox::Icon icon, const QString& title, const QString& text,
                                  QMessageBox::StandardButtons buttons) {
        return guard.messageBox(text, title, icon, buttons).value_or(QMessageBox::NoButton);
    };
    actions.popupMenu = [&guard](QMenu& menu, const QPoint& globalPos) {
        return guard.popupMenu(menu, globalPos);
    };
}
