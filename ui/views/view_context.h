#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/record.h"
#include "persist/config/network_address.h"

class AppConfig;
class AppIconProvider;
class ModalGuard;
class QAction;
class QMenu;
class QPoint;
class QDialog;
class QWidget;

namespace cb {
class History;
class RecordList;
}  // namespace cb

// What the program does for the views that the views cannot do themselves: the clipboard
// engine's writing and pasting, the modal-window guard, and the dialogs that live elsewhere.
// The program's shell fills it in; an unset entry means "not available" and the command that
// needs it does nothing. Everything is called on the user-interface thread.
struct ViewActions {
    // ---- the clipboard engine
    // Puts the record on the clipboard (list: where it was taken from, or null).
    std::function<bool(const cb::RecordPtr&, const cb::RecordList*)> copyRecord;
    // Puts the record on the clipboard and pastes it into the program the user was typing in.
    std::function<bool(const cb::RecordPtr&, const cb::RecordList*)> pasteRecord;

    // ---- the modal-window guard
    // True when a modal window is open; the guard has brought it to the front then.
    std::function<bool()> modalWindowOpen;
    // Runs the dialog modally (the guard records it as the open modal window).
    std::function<int(QDialog&)> runModal;
    // A message box owned by the main frame.
    std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString& title,
                                              const QString& text, QMessageBox::StandardButtons)>
        messageBox;
    // Shows a context menu at the point and returns the chosen action (null when dismissed);
    // nothing when refused because a modal window or another menu is open. Unset: QMenu::exec.
    std::function<std::optional<QAction*>(QMenu&, const QPoint&)> popupMenu;

    // ---- file and folder choice (unset: the standard file dialogs)
    // The path of a list file to save to or load from; empty when cancelled.
    std::function<QString(QWidget* owner, bool save)> chooseListFile;
    // The folder to export into; empty when cancelled.
    std::function<QString(QWidget* owner)> chooseExportFolder;

    // ---- the dialogs
    // The list properties dialog on the list (a new one when isNew); true on OK.
    std::function<bool(QWidget* owner, cb::RecordList& list, bool isNew)> editListProperties;
    // The record selection dialog with the prompt; the chosen rows in row order, nothing on
    // Cancel.
    std::function<std::optional<std::vector<int>>(QWidget* owner, cb::RecordList& list,
                                                  const QString& prompt)>
        selectRecords;
    // The multiple paste dialog on the list.
    std::function<void(QWidget* owner, cb::RecordList& list)> multiplePaste;
    // Pastes every record of the list as one text.
    std::function<void(QWidget* owner, cb::RecordList& list)> pasteAll;
    // The host dialog (empty host, port 45689 at first); nothing on Cancel.
    std::function<std::optional<NetworkAddress>(QWidget* owner)> askHost;

    // Whether the program is ending (the receiving server's shuttingDownCheck), so that a
    // transfer started by hand ends with it; unset: only closing its dialog ends one.
    std::function<bool()> shuttingDown;

    // Called after a window of the views changed the saved state (moved a list, for example),
    // so that the owner may save when it wants to.
    std::function<void()> historyChanged;
};

// Routes the modal entries (modalWindowOpen, runModal, messageBox, popupMenu) through the
// program's guard, which outlives the actions.
void useModalGuard(ViewActions& actions, ModalGuard& guard);

// What every view is built with.
struct ViewContext {
    cb::History& history;
    AppConfig& config;
    AppIconProvider& icons;
    ViewActions& actions;
};
