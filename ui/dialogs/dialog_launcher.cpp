#include "ui/dialogs/dialog_launcher.h"

#include "ui/common/modal_guard.h"
#include "ui/dialogs/about_dlg.h"
#include "ui/dialogs/first_run_dlg.h"
#include "ui/dialogs/host_dlg.h"
#include "ui/dialogs/new_version_dlg.h"
#include "ui/dialogs/option_dlg.h"
#include "ui/dialogs/record_list_property_dlg.h"
#include "ui/dialogs/select_record_dlg.h"

namespace {
bool accepted(const std::optional<int>& result) { return result && *result == QDialog::Accepted; }
}  // namespace

DialogLauncher::DialogLauncher(ModalGuard& guard, Services services, QObject* parent)
    : QObject(parent), guard_(guard), services_(std::move(services)) {}

bool DialogLauncher::options() {
    if (guard_.bringToFront()) return false;
    OptionDlg dialog({services_.config, services_.history, services_.itemTypes,
                      services_.runningPrograms, services_.updateReceiver},
                     guard_.mainWindow());
    connect(&dialog, &OptionDlg::optionsApplied, this, &DialogLauncher::optionsApplied);
    return accepted(guard_.runModal(dialog));
}

std::optional<std::vector<cb::RecordPtr>> DialogLauncher::selectRecords(
    const cb::RecordList& list, const QString& prompt) {
    if (guard_.bringToFront()) return std::nullopt;
    SelectRecordDlg dialog(list, prompt, guard_.mainWindow());
    if (!accepted(guard_.runModal(dialog))) return std::nullopt;
    return dialog.chosenRecords();
}

bool DialogLauncher::multiplePaste(const cb::RecordList& list) {
    if (guard_.bringToFront()) return false;
    MultiPasterDlg dialog(list, services_.config, services_.pasteText, guard_.mainWindow());
    return accepted(guard_.runModal(dialog));
}

void DialogLauncher::pasteAll(const cb::RecordList& list) {
    MultiPasterDlg::pasteAll(list, services_.config, services_.pasteText);
}

bool DialogLauncher::listProperties(cb::RecordList& list) {
    if (guard_.bringToFront()) return false;
    RecordListPropertyDlg dialog(list, services_.history, services_.config, guard_.mainWindow());
    return accepted(guard_.runModal(dialog));
}

bool DialogLauncher::firstRun() {
    if (guard_.bringToFront()) return false;
    FirstRunDlg dialog(services_.config, guard_.mainWindow());
    return accepted(guard_.runModal(dialog));
}

void DialogLauncher::about() {
    if (guard_.bringToFront()) return;
    AboutDlg dialog(guard_.mainWindow());
    guard_.runModal(dialog);
}

void DialogLauncher::newVersion(const QString& downloadLink) {
    if (guard_.bringToFront()) return;
    NewVersionDlg dialog(downloadLink, guard_.mainWindow());
    guard_.runModal(dialog);
}

std::optional<NetworkAddress> DialogLauncher::askHost() {
    if (guard_.bringToFront()) return std::nullopt;
    HostDlg dialog(guard_.mainWindow());
    if (!accepted(guard_.runModal(dialog))) return std::nullopt;
    return dialog.address();
}
