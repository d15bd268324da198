#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <span>

#include "model/history.h"
#include "ui/common/command_states.h"
#include "ui/views/record_list_window.h"
#include "ui/views/view_context.h"

class QMenu;
class QTabBar;
class RecordListCommands;

// The whole history: one tab per list in the history's order, and under the 20-pixel tab strip
// the rows of the selected tab's list. Follows the history as its observer; tabs dragged to a
// new place move their list in the history. The main, floating, popup and menu windows are
// history windows that differ in their context menus and in what clicks on rows do.
class HistoryWindow : public QWidget, protected cb::HistoryObserver {
    Q_OBJECT
public:
    static constexpr int kStripHeight = 20;

    // A menu item: its text and command id; id 0 is a separator.
    struct MenuEntry {
        const char* text;
        int id;
    };

    explicit HistoryWindow(ViewContext& context, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    ViewContext& context() const { return context_; }
    cb::History& history() const { return context_.history; }
    RecordListCommands& commands() const { return *commands_; }
    QTabBar& tabBar() const { return *tabs_; }

    int tabCount() const;
    // The selected tab; 0 when none is selected but tabs exist; -1 without tabs.
    int currentTabIndex() const;
    void selectTab(int index);
    QString tabCaption(int index) const;
    RecordListWindow* listWindow(int tab) const;
    RecordListWindow* currentListWindow() const { return current_; }
    cb::RecordList* currentList() const;

    // The record at the row of the current list window; row -1: the selected row.
    cb::RecordPtr selectedRecord(int row = -1) const;
    // Hides the window (then lets 20 ms pass so the focus returns to the program the user was
    // in), moves the record to the front when its list says so, and pastes it. Row -1: the
    // selected row.
    void pasteRecord(int row = -1, QWidget* windowToHide = nullptr);
    // Next or previous row, wrapping at both ends; row 0 when nothing is selected.
    void selectAdjacentRecord(bool next);

    // Runs a list or record command on the current list (see RecordListCommands).
    bool executeCommand(int id);
    // Whether the command would run now, by what it needs and by the main window's rules.
    bool isCommandEnabled(int id) const;
    // What the enabled states of the main window's commands depend on.
    ListFacts currentListFacts() const;

    // Whether a press on the empty part of the tab strip drags the top-level window.
    bool dragByTabStrip() const { return dragByTabStrip_; }
    void setDragByTabStrip(bool on) { dragByTabStrip_ = on; }

    // Appends "&Send To" with the remembered hosts (ids from firstHostId) and "Other Computer...".
    void appendSendTo(QMenu& menu, int firstHostId, int otherId) const;

    // The tab at `from` moved to `to` by the user, as a finished tab drag does.
    void moveTabByUser(int from, int to);

signals:
    // The selected record of the current list window may have changed (the main frame
    // follows it).
    void selectedRecordChanged();
    void currentListChanged();
    // currentListFacts may have changed: another tab, rows, selection or listening list.
    void listFactsChanged();
    // A press on the empty strip started dragging the top-level window.
    void stripDragStarted();

protected:
    // Context menus: of a tab, and of a row of the current list.
    virtual void showListMenu(int tabIndex);
    virtual void showRecordMenu(int row, const QPoint& globalPos);
    // Clicks on rows of the current list window.
    virtual void rowClicked(int row) { Q_UNUSED(row); }
    virtual void rowDoubleClicked(int row) { Q_UNUSED(row); }

    // Builds a menu of command ids.
    std::unique_ptr<QMenu> buildMenu(std::span<const MenuEntry> entries) const;
    // Shows the menu at the point; the chosen command runs here. Nothing while a modal window
    // is open.
    void trackMenu(QMenu& menu, const QPoint& globalPos, bool updateEnabled);

    // cb::HistoryObserver
    void listInserted(cb::RecordList* list, size_t index) override;
    void listRemoved(cb::RecordList* list) override;
    void listeningListChanged(cb::RecordList* oldList, cb::RecordList* newList) override;
    void listChanged(cb::RecordList* list) override;
    void listMoved(int from, int to) override;

    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int tabOf(const cb::RecordList* list) const;
    QString captionOf(const cb::RecordList& list) const;
    void updateCaption(cb::RecordList* list);
    void switchToTab(int index);
    void layoutChildren();
    void commitTabDrag();

    ViewContext& context_;
    QWidget* strip_;
    QTabBar* tabs_;
    std::unique_ptr<RecordListCommands> commands_;
    QPointer<RecordListWindow> current_;
    bool dragByTabStrip_ = true;
    // The list whose tab the user is dragging.
    cb::RecordList* draggedList_ = nullptr;
};

// The pane of the main frame. Its tab strip does not move the window.
class MainHistoryWindow final : public HistoryWindow {
    Q_OBJECT
public:
    explicit MainHistoryWindow(ViewContext& context, QWidget* parent = nullptr);

protected:
    void showListMenu(int tabIndex) override;
    void showRecordMenu(int row, const QPoint& globalPos) override;
};

// The body of the floating window: a double click on a row pastes it and the window stays.
class FloatingHistoryWindow : public HistoryWindow {
    Q_OBJECT
public:
    explicit FloatingHistoryWindow(ViewContext& context, QWidget* parent = nullptr);

protected:
    void showListMenu(int tabIndex) override;
    void showRecordMenu(int row, const QPoint& globalPos) override;
    void rowDoubleClicked(int row) override;
};

// The window shown at the caret: no context menus; it pastes plain text only when asked to.
class PopupWindow : public HistoryWindow {
    Q_OBJECT
public:
    explicit PopupWindow(ViewContext& context, QWidget* parent = nullptr);

    bool plainTextMode() const { return plainText_; }
    void setPlainTextMode(bool on) { plainText_ = on; }

protected:
    void showListMenu(int) override {}
    void showRecordMenu(int, const QPoint&) override {}

private:
    bool plainText_ = false;
};

// The window opened at the pointer: a click on a row pastes it; its list menu holds only the
// paste and delete commands.
class MenuWindow : public HistoryWindow {
    Q_OBJECT
public:
    explicit MenuWindow(ViewContext& context, QWidget* parent = nullptr);

    // Called to paste a clicked row; by default pastes without hiding anything.
    std::function<void(int row)> pasteClickedRow;

protected:
    void showListMenu(int tabIndex) override;
    void showRecordMenu(int row, const QPoint& globalPos) override;
    void rowClicked(int row) override;
};
