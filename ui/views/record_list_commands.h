#pragma once

#include <QObject>
#include <QString>

#include "model/record_list.h"

class HistoryWindow;
class RecordListWindow;
struct NetworkAddress;

// Runs the list and record commands (see command_ids.h) on the current list window of its
// history window. A command that needs a list, a selected row or a list that is not a search
// does nothing without one. Saving, loading and exporting read and write files on a worker
// thread and report back here; the window never waits for the disk.
class RecordListCommands final : public QObject {
    Q_OBJECT
public:
    explicit RecordListCommands(HistoryWindow& window);
    ~RecordListCommands() override;

    // False when the command is not one of ours or does nothing now.
    bool execute(int id);
    // Whether the command would do something now (what enables menu items and buttons).
    bool isEnabled(int id) const;

    // The questions asked before deleting every record and before removing a list.
    static QString deleteAllQuestion(const cb::RecordList& list);
    static QString removeListQuestion(const cb::RecordList& list);
    static QString saveError() { return tr("Error saving the clipboard record list!"); }
    static QString loadError() { return tr("Error loading the clipboard record list!"); }

    // File work started by a command; for callers that wait for it.
    bool fileTaskRunning() const { return fileTasks_ > 0; }

    // Adds a host to the remembered hosts: the oldest go while more than 100 are held, and a
    // host already there is not added twice.
    static void rememberHost(std::deque<NetworkAddress>& hosts, const NetworkAddress& host);

signals:
    // A save, load or export ended; ok is false when it failed.
    void fileTaskFinished(bool ok);

private:
    RecordListWindow* current() const;
    bool isSearchList(const cb::RecordList& list) const;
    bool ask(const QString& question) const;
    void showError(const QString& text) const;

    void deleteAll();
    void multipleDelete();
    void newList();
    void removeList();
    // The file the user picks in the list file dialog; empty when cancelled.
    QString chooseListFile(bool save) const;
    void saveList();
    void loadList();
    void exportList();
    void listProperties();
    void sendToHost(int hostIndex, bool wholeList);
    void sendToOther(bool wholeList);
    // Shows the progress of a transfer to `to`; true when it finished.
    bool send(const NetworkAddress& to, const cb::RecordPtr& record, cb::RecordList* list);

    HistoryWindow& window_;
    int fileTasks_ = 0;
};
