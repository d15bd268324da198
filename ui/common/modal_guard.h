#pragma once

// Lets only one modal dialog, message box or context menu of the program be open at a time. A
// second request does not open anything: it brings the open window to the front instead, so a
// user who forgot an open dialog finds it rather than stacking another one over it.
//
// One guard serves the whole program; the program creates it and passes it to every window that
// opens dialogs, boxes or context menus on its own (dialogs that a guarded dialog opens run
// inside it and need no guard).

#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <optional>

class QAction;
class QDialog;
class QMenu;
class QWidget;

class ModalGuard {
public:
    // `mainWindow`: the program's main window, the parent of the message boxes (may be set later).
    explicit ModalGuard(QWidget* mainWindow = nullptr);
    ModalGuard(const ModalGuard&) = delete;
    ModalGuard& operator=(const ModalGuard&) = delete;

    void setMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }
    QWidget* mainWindow() const { return mainWindow_; }

    // The dialog, message box or context menu that is open; null when none is.
    QWidget* openWindow() const { return open_; }
    bool isOpen() const { return open_ != nullptr; }

    // When something is open: shows it (restored when minimized), raises and activates it and
    // answers true. Otherwise false.
    bool bringToFront();

    // Runs `dialog` modally and answers its result; nothing (and the open one comes to the
    // front) when something is open already.
    std::optional<int> runModal(QDialog& dialog);

    // A message box over the main window; nothing when something is open already.
    std::optional<QMessageBox::StandardButton> messageBox(
        const QString& text, const QString& title, QMessageBox::Icon icon,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Shows `menu` at `globalPos` and answers the chosen action (null when none was chosen);
    // nothing when something is open already.
    std::optional<QAction*> popupMenu(QMenu& menu, const QPoint& globalPos);

private:
    // Clears the record of the open window when the run ends, however it ends.
    class OpenScope;

    QPointer<QWidget> mainWindow_;
    QPointer<QWidget> open_;
};
