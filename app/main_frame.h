#pragma once

// The program's main window: menu bar, toolbar, status bar, and a splitter with the history on
// the left and the record viewer on the right. It lives for the whole run, mostly hidden: the
// program sits in the tray, minimizing the window hides it, and closing it ends the program.
//
// Every command is a QAction identified by its CommandId; the same actions fill the menu bar,
// the toolbar and the tray menu, so their texts, help and enabled states agree everywhere.

#include <QMainWindow>
#include <QMenu>

#include <map>

#include "ui/common/command_ids.h"
#include "ui/common/command_states.h"

class QLabel;
class QSplitter;

// Recording the clipboard on and off, as the program does it.
class RecordingSwitch {
public:
    virtual ~RecordingSwitch() = default;
    virtual bool recording() const = 0;
    virtual void setRecording(bool on) = 0;
};

class MainFrame : public QMainWindow {
    Q_OBJECT

public:
    // `historyPane` and `viewerPane` become the splitter's panes (owned by the window from then on).
    MainFrame(RecordingSwitch& recording, QWidget* historyPane, QWidget* viewerPane);

    QAction* action(CommandId id) const;
    QMenu& trayMenu() { return trayMenu_; }
    QSplitter& splitter() const { return *splitter_; }

    // The facts of the list the history shows; call whenever one of them can have changed.
    void setListFacts(const ListFacts& facts);
    // Shows Start or Pause, whichever matches the recording state now.
    void refreshRecordingState();
    // Check mark of the Floating Window command.
    void setFloatingWindowVisible(bool visible);

    // Where the bar between the panes stands: the history pane's width. -1 until the window was
    // first shown (the bar has no place before it has a size).
    int splitterPosition() const;
    // Where the bar goes when the window is first shown; without it, a quarter of the width.
    void setInitialSplitterPosition(int position) { initialSplitterPosition_ = position; }

    // Visible (and not minimized): minimize, which hides it. Hidden: show it normally, in front.
    void toggleVisible();
    void showInFront();
    bool shownOnScreen() const;

signals:
    // A list or record command for the history (Copy, Paste, Delete, ...).
    void listCommand(CommandId id);
    void floatingWindowRequested();
    void optionsRequested();
    void aboutRequested();
    void helpIndexRequested();
    // The window was closed (close box, Alt+F4, Exit): the program ends.
    void closed();
    // The window came on the screen (it shows the selected record from then on).
    void shown();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QAction* makeAction(CommandId id, const QString& text, const char* iconName = nullptr);
    void run(CommandId id);
    void buildMenus();
    void buildToolbar();
    void buildTrayMenu();
    void refreshMainWindowCheck();

    RecordingSwitch& recording_;
    std::map<CommandId, QAction*> actions_;
    QToolBar* toolbar_ = nullptr;
    QLabel* ready_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QMenu trayMenu_;
    bool splitterPlaced_ = false;
    int initialSplitterPosition_ = -1;
};
