#include "ui/views/record_list_commands.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMetaObject>
#include <QPointer>
#include <thread>

#include "export/item_exporter.h"
#include "model/search_list.h"
#include "net/sender.h"
#include "persist/config/app_config.h"
#include "persist/files/history_file.h"
#include "ui/views/command_ids.h"
#include "ui/views/history_window.h"
#include "ui/views/record_list_window.h"
#include "ui/views/send_object_dlg.h"

using namespace list_command;

namespace {

constexpr size_t kMaxRememberedHosts = 100;
constexpr int32_t kDefaultPort = 45689;

// A copy of the list's records and properties that a worker thread can read while the list
// itself goes on changing.
std::unique_ptr<cb::RecordList> snapshotOf(const cb::RecordList& list) {
    auto copy = std::make_unique<cb::RecordList>(list.name());
    copy->setMaxCount(list.maxCount());
    copy->setDiscardOld(list.discardOld());
    copy->setMoveToFront(list.moveToFront());
    for (const cb::RecordPtr& record : list.records()) copy->insert(record, copy->count());
    return copy;
}

// Runs work on a worker thread and then done(result) on the receiver's thread, unless the
// receiver is gone by then.
template <class Work, class Done>
void runInBackground(QObject* receiver, Work work, Done done) {
    QPointer<QObject> guard(receiver);
    std::thread([guard, work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        // Through the application object, which outlives every receiver; the receiver is
        // checked on its own thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done = std::move(done), result = std::move(result)]() mutable {
                if (guard) done(std::move(result));
            },
            Qt::QueuedConnection);
    }).detach();
}

}  // namespace

RecordListCommands::RecordListCommands(HistoryWindow& window) : window_(window) {}
RecordListCommands::~RecordListCommands() = default;

RecordListWindow* RecordListCommands::current() const {
    RecordListWindow* w = window_.currentListWindow();
    return w && !w->detached() ? w : nullptr;
}

bool RecordListCommands::isSearchList(const cb::RecordList& list) const {
    return dynamic_cast<const SearchList*>(&list) != nullptr;
}

QString RecordListCommands::deleteAllQuestion(const cb::RecordList& list) {
    return tr("Do you really want to delete all of the clipboard records from list: ") +
           QString::fromStdU16String(list.name()) + "?";
}

QString RecordListCommands::removeListQuestion(const cb::RecordList& list) {
    return tr("Do you really want to remove the list: ") + QString::fromStdU16String(list.name()) +
           "?";
}

bool RecordListCommands::ask(const QString& question) const {
    const ViewActions& actions = window_.context().actions;
    if (!actions.messageBox) return false;
    return actions.messageBox(QMessageBox::Question, tr("Quillet"), question,
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void RecordListCommands::showError(const QString& text) const {
    const ViewActions& actions = window_.context().actions;
    if (actions.messageBox)
        actions.messageBox(QMessageBox::Critical, tr("Error"), text, QMessageBox::Ok);
}

bool RecordListCommands::isEnabled(int id) const {
    const RecordListWindow* w = current();
    const cb::RecordList* list = w ? &w->list() : nullptr;
    const bool hasRow = w && w->selectedRow() >= 0;
    const bool search = list && isSearchList(*list);
    const cb::History& history = window_.history();
    switch (id) {
    case kCopy:
    case kPaste:
        return hasRow;
    case kDelete:
        return hasRow && !search;
    case kDeleteAll:
    case kMultipleDelete:
    case kLoadList:
        return list && !search;
    case kMultiplePaste:
    case kPasteAll:
    case kSaveList:
    case kExport:
    case kListProperties:
        return list != nullptr;
    case kNewList:
        return true;
    case kRemoveList:
    case kListenToClipboard:
        return list && !search && history.listeningList() != list;
    default:
        break;
    }
    if (id >= kSendRecordFirst && id < kSendRecordFirst + kMaxSendToHosts)
        return hasRow && static_cast<size_t>(id - kSendRecordFirst) < window_.context().config.rememberedHosts().size();
    if (id == kSendRecordOther) return hasRow;
    if (id >= kSendListFirst && id < kSendListFirst + kMaxSendToHosts)
        return list && static_cast<size_t>(id - kSendListFirst) < window_.context().config.rememberedHosts().size();
    if (id == kSendListOther) return list != nullptr;
    return false;
}

bool RecordListCommands::execute(int id) {
    if (!isEnabled(id)) return false;
    RecordListWindow* w = current();
    ViewActions& actions = window_.context().actions;
    switch (id) {
    case kCopy:
        if (actions.copyRecord) actions.copyRecord(w->selectedRecord(), &w->list());
        return true;
    case kPaste:
        window_.pasteRecord(w->selectedRow(), nullptr);
        return true;
    case kDelete:
        w->list().remove(w->selectedRecord());
        return true;
    case kDeleteAll:
        deleteAll();
        return true;
    case kMultipleDelete:
        multipleDelete();
        return true;
    case kMultiplePaste:
        if (actions.multiplePaste) actions.multiplePaste(&window_, w->list());
        return true;
    case kPasteAll:
        if (actions.pasteAll) actions.pasteAll(&window_, w->list());
        return true;
    case kNewList:
        newList();
        return true;
    case kRemoveList:
        removeList();
        return true;
    case kSaveList:
        saveList();
        return true;
    case kLoadList:
        loadList();
        return true;
    case kListenToClipboard:
        window_.history().setListeningList(&w->list());
        return true;
    case kListProperties:
        listProperties();
        return true;
    case kExport:
        exportList();
        return true;
    case kSendRecordOther:
        sendToOther(false);
        return true;
    case kSendListOther:
        sendToOther(true);
        return true;
    default:
        break;
    }
    if (id >= kSendRecordFirst && id < kSendRecordFirst + kMaxSendToHosts) {
        sendToHost(id - kSendRecordFirst, false);
        return true;
    }
    if (id >= kSendListFirst && id < kSendListFirst + kMaxSendToHosts) {
        sendToHost(id - kSendListFirst, true);
        return true;
    }
    return false;
}

void RecordListCommands::deleteAll() {
    cb::RecordList& list = current()->list();
    if (ask(deleteAllQuestion(list)) && current() && &current()->list() == &list) list.clear();
}

void RecordListCommands::multipleDelete() {
    ViewActions& actions = window_.context().actions;
    if (!actions.selectRecords) return;
    if (actions.modalWindowOpen && actions.modalWindowOpen()) return;
    cb::RecordList& list = current()->list();
    const auto rows = actions.selectRecords(&window_, list,
                                            tr("Please select the records that will be deleted."));
    if (!rows) return;
    // The rows name the records as they stood when the dialog closed.
    std::vector<cb::RecordPtr> chosen;
    for (int row : *rows)
        if (const cb::RecordPtr record = list.at(static_cast<size_t>(row))) chosen.push_back(record);
    for (const cb::RecordPtr& record : chosen) list.remove(record);
}

void RecordListCommands::newList() {
    ViewActions& actions = window_.context().actions;
    if (!actions.editListProperties) return;
    auto list = std::make_unique<cb::RecordList>();
    if (!actions.editListProperties(&window_, *list, true)) return;
    const size_t index = static_cast<size_t>(window_.currentTabIndex() + 1);
    // The history owns the list once it takes it; a refused list is discarded here.
    if (window_.history().insertList(list.get(), std::min(index, window_.history().count())))
        list.release();
}

void RecordListCommands::removeList() {
    cb::RecordList& list = current()->list();
    if (!ask(removeListQuestion(list))) return;
    cb::History& history = window_.history();
    // The question gave other windows time: the list may be listening or gone by now.
    if (history.indexOf(&list) < 0 || history.listeningList() == &list) return;
    history.removeList(&list, true);
}

void RecordListCommands::listProperties() {
    ViewActions& actions = window_.context().actions;
    if (!actions.editListProperties) return;
    cb::RecordList& list = current()->list();
    if (actions.editListProperties(&window_, list, false) && window_.history().indexOf(&list) >= 0)
        window_.history().notifyListChanged(&list);
}

QString RecordListCommands::chooseListFile(bool save) const {
    ViewActions& actions = window_.context().actions;
    if (actions.chooseListFile) return actions.chooseListFile(&window_, save);
    QFileDialog dialog(&window_);
    dialog.setNameFilter(tr("Clipboard Record List Files (*.qlt)"));
    dialog.setDefaultSuffix("qlt");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (save) {
        // Asks before replacing a file (the dialog's default).
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const int result = actions.runModal ? actions.runModal(dialog) : dialog.exec();
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

void RecordListCommands::saveList() {
    ViewActions& actions = window_.context().actions;
    if (actions.modalWindowOpen && actions.modalWindowOpen()) return;
    const cb::RecordList& list = current()->list();
    const QString file = chooseListFile(true);
    if (file.isEmpty()) return;
    ++fileTasks_;
    std::shared_ptr<cb::RecordList> copy = snapshotOf(list);
    runInBackground(
        this,
        [copy, target = std::filesystem::path(file.toStdU16String())]() mutable {
            bool ok = false;
            try {
                ok = persist::writeListFile(*copy, target);
            } catch (const std::exception&) {
                ok = false;
            }
            copy.reset();
            return ok;
        },
        [this](bool ok) {
            --fileTasks_;
            if (!ok) showError(saveError());
            emit fileTaskFinished(ok);
        });
}

void RecordListCommands::loadList() {
    ViewActions& actions = window_.context().actions;
    if (actions.modalWindowOpen && actions.modalWindowOpen()) return;
    cb::RecordList& list = current()->list();
    const QString path = chooseListFile(false);
    if (path.isEmpty()) return;
    ++fileTasks_;
    const cb::Identity listId = list.identity();
    runInBackground(
        this,
        [source = std::filesystem::path(path.toStdU16String())] {
            // The whole file is read before the list changes, so a bad file changes nothing.
            std::shared_ptr<cb::RecordList> loaded = std::make_shared<cb::RecordList>();
            try {
                persist::readListFile(*loaded, source);
            } catch (const std::exception&) {
                loaded.reset();
            }
            return loaded;
        },
        [this, &list, listId](std::shared_ptr<cb::RecordList> loaded) {
            --fileTasks_;
            if (!loaded) {
                showError(loadError());
                emit fileTaskFinished(false);
                return;
            }
            // The list may have been removed while the file was read.
            if (cb::RecordList::resolve(listId) == &list && window_.history().indexOf(&list) >= 0) {
                // Last to first, so the file's records end up at the front in file order; the
                // list's limit applies to each.
                const auto& records = loaded->records();
                for (auto it = records.rbegin(); it != records.rend(); ++it) list.add(*it);
            }
            emit fileTaskFinished(true);
        });
}

void RecordListCommands::exportList() {
    ViewActions& actions = window_.context().actions;
    if (actions.modalWindowOpen && actions.modalWindowOpen()) return;
    QString folder;
    if (actions.chooseExportFolder) {
        folder = actions.chooseExportFolder(&window_);
    } else {
        QFileDialog dialog(&window_, tr("Export"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        const int result = actions.runModal ? actions.runModal(dialog) : dialog.exec();
        if (result == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            folder = dialog.selectedFiles().front();
    }
    if (folder.isEmpty()) return;
    ++fileTasks_;
    std::shared_ptr<cb::RecordList> copy = snapshotOf(current()->list());
    runInBackground(
        this,
        [copy, target = std::filesystem::path(folder.toStdU16String())]() mutable {
            std::error_code error;
            const bool ok = std::filesystem::is_directory(target, error);
            if (ok) ::exportList(*copy, target);
            copy.reset();
            return ok;
        },
        [this](bool ok) {
            --fileTasks_;
            emit fileTaskFinished(ok);
        });
}

void RecordListCommands::rememberHost(std::deque<NetworkAddress>& hosts,
                                      const NetworkAddress& host) {
    while (hosts.size() > kMaxRememberedHosts) hosts.pop_front();
    if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) hosts.push_back(host);
}

void RecordListCommands::sendToHost(int hostIndex, bool wholeList) {
    const auto& hosts = window_.context().config.rememberedHosts();
    if (hostIndex < 0 || static_cast<size_t>(hostIndex) >= hosts.size()) return;
    RecordListWindow* w = current();
    send(hosts[static_cast<size_t>(hostIndex)], wholeList ? cb::RecordPtr() : w->selectedRecord(),
         wholeList ? &w->list() : nullptr);
}

void RecordListCommands::sendToOther(bool wholeList) {
    ViewActions& actions = window_.context().actions;
    if (!actions.askHost) return;
    if (actions.modalWindowOpen && actions.modalWindowOpen()) return;
    RecordListWindow* w = current();
    const cb::RecordPtr record = wholeList ? cb::RecordPtr() : w->selectedRecord();
    cb::RecordList* list = wholeList ? &w->list() : nullptr;
    const auto address = actions.askHost(&window_);
    if (!address) return;
    if (send(*address, record, list))
        rememberHost(window_.context().config.rememberedHosts(), *address);
}

bool RecordListCommands::send(const NetworkAddress& to, const cb::RecordPtr& record,
                              cb::RecordList* list) {
    ViewActions& actions = window_.context().actions;
    net::SenderSettings settings;
    settings.shuttingDown = actions.shuttingDown;
    auto sender = std::make_shared<net::Sender>(settings);
    const bool prepared = list ? sender->prepare(to, *list) : record && sender->prepare(to, *record);
    if (!prepared) return false;
    if (actions.modalWindowOpen && actions.modalWindowOpen()) return false;
    SendObjectDlg dialog(sender, &window_);
    if (actions.runModal)
        actions.runModal(dialog);
    else
        dialog.exec();
    return sender->state() == net::kSendFinished;
}
