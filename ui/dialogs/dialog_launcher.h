#pragma once

// Opens the program's dialogs the way the main window's commands need them: each through the
// modal guard (so a second modal window is refused and the open one comes to the front), owned
// by the main window, destroyed when it closes.

#include <QObject>
#include <functional>
#include <optional>
#include <vector>

#include "model/record.h"
#include "persist/config/network_address.h"
#include "ui/dialogs/multi_paster_dlg.h"

class AppConfig;
class ModalGuard;
class RunningPrograms;
namespace cb {
class History;
class ItemTypeRegistry;
class RecordList;
}  // namespace cb

class DialogLauncher : public QObject {
    Q_OBJECT
public:
    struct Services {
        AppConfig& config;
        cb::History& history;
        const cb::ItemTypeRegistry& itemTypes;
        RunningPrograms& runningPrograms;
        // Starts, stops or restarts receiving after the network settings are written.
        std::function<void()> updateReceiver;
        // Pastes a text as a text-only record that joins no list.
        MultiPasterDlg::PasteText pasteText;
    };

    DialogLauncher(ModalGuard& guard, Services services, QObject* parent = nullptr);

    // Each answers false (or nothing) when the dialog was cancelled, or refused because another
    // modal window is open.

    // "Options"; optionsApplied() follows an OK.
    bool options();
    // "Select Records": the records the user chose, in row order.
    std::optional<std::vector<cb::RecordPtr>> selectRecords(const cb::RecordList& list,
                                                            const QString& prompt);
    // "Paste Records".
    bool multiplePaste(const cb::RecordList& list);
    // Every record of the list pasted as one text, without a dialog.
    void pasteAll(const cb::RecordList& list);
    // "Record List Properties" of a list of the history (or of a new list not yet in it).
    bool listProperties(cb::RecordList& list);
    // The first-run question; writes the answer on OK.
    bool firstRun();
    void about();
    void newVersion(const QString& downloadLink);
    // "Host", for sending to a computer that is not in the menus.
    std::optional<NetworkAddress> askHost();

signals:
    // The options were written: shortcuts are to be grabbed again, windows to follow.
    void optionsApplied();

private:
    ModalGuard& guard_;
    Services services_;
};
