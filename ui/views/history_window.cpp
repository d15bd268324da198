#include "ui/views/history_window.h"

#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QWindow>

#include "model/search_list.h"
#include "persist/config/app_config.h"
#include "ui/views/command_ids.h"
#include "ui/common/command_states.h"
#include "ui/views/record_list_commands.h"
#include "ui/views/record_list_view.h"
#include "ui/views/record_list_window.h"
#include "ui/views/search_list_window.h"

namespace {

RecordListWindow* windowOfData(const QVariant& data) {
    return static_cast<RecordListWindow*>(data.value<void*>());
}

}  // namespace

HistoryWindow::HistoryWindow(ViewContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      strip_(new QWidget(this)),
      tabs_(new QTabBar(strip_)),
      commands_(std::make_unique<RecordListCommands>(*this)) {
    setAccessibleName(tr("Clipboard history"));
    strip_->setAccessibleName(tr("List tabs"));
    tabs_->setAccessibleName(tr("Lists"));
    tabs_->setMovable(true);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    tabs_->setUsesScrollButtons(true);
    tabs_->setElideMode(Qt::ElideRight);
    tabs_->setFixedHeight(kStripHeight);
    tabs_->setContextMenuPolicy(Qt::PreventContextMenu);
    strip_->setFixedHeight(kStripHeight);
    strip_->installEventFilter(this);
    tabs_->installEventFilter(this);

    connect(tabs_, &QTabBar::currentChanged, this, &HistoryWindow::switchToTab);

    history().addObserver(this);
    for (size_t i = 0; i < history().count(); ++i) listInserted(history().at(i), i);
}

HistoryWindow::~HistoryWindow() {
    history().removeObserver(this);
    current_ = nullptr;
}

int HistoryWindow::tabCount() const { return tabs_->count(); }

int HistoryWindow::currentTabIndex() const {
    if (tabs_->count() == 0) return -1;
    const int index = tabs_->currentIndex();
    return index < 0 ? 0 : index;
}

void HistoryWindow::selectTab(int index) {
    if (index >= 0 && index < tabs_->count()) tabs_->setCurrentIndex(index);
}

QString HistoryWindow::tabCaption(int index) const { return tabs_->tabText(index); }

RecordListWindow* HistoryWindow::listWindow(int tab) const {
    if (tab < 0 || tab >= tabs_->count()) return nullptr;
    return windowOfData(tabs_->tabData(tab));
}

cb::RecordList* HistoryWindow::currentList() const { return current_ ? &current_->list() : nullptr; }

int HistoryWindow::tabOf(const cb::RecordList* list) const {
    for (int i = 0; i < tabs_->count(); ++i)
        if (&listWindow(i)->list() == list) return i;
    return -1;
}

QString HistoryWindow::captionOf(const cb::RecordList& list) const {
    const QString name = QString::fromStdU16String(list.name());
    return history().listeningList() == &list ? "[" + name + "]" : name;
}

void HistoryWindow::updateCaption(cb::RecordList* list) {
    const int tab = list ? tabOf(list) : -1;
    if (tab >= 0) {
        tabs_->setTabText(tab, captionOf(*list));
        listWindow(tab)->setAccessibleName(QString::fromStdU16String(list->name()));
    }
}

// ---- following the history

void HistoryWindow::listInserted(cb::RecordList* list, size_t index) {
    RecordListWindow* window = nullptr;
    if (auto* search = dynamic_cast<SearchList*>(list))
        window = new SearchListWindow(*search, context_, this);
    else
        window = new RecordListWindow(*list, context_, this);
    window->hide();
    connect(window, &RecordListWindow::selectionChanged, this, [this, window] {
        if (window != current_) return;
        emit selectedRecordChanged();
        emit listFactsChanged();
    });
    connect(window, &RecordListWindow::rowCountChanged, this, [this, window] {
        if (window == current_) emit listFactsChanged();
    });
    connect(window, &RecordListWindow::rowClicked, this, [this, window](int row) {
        if (window == current_) rowClicked(row);
    });
    connect(window, &RecordListWindow::rowDoubleClicked, this, [this, window](int row) {
        if (window == current_) rowDoubleClicked(row);
    });
    connect(window, &RecordListWindow::rowContextMenu, this,
            [this, window](int row, const QPoint& pos) {
                if (window == current_) showRecordMenu(row, pos);
            });
    {
        const QSignalBlocker block(tabs_);
        const int tab = tabs_->insertTab(static_cast<int>(index), captionOf(*list));
        tabs_->setTabData(tab, QVariant::fromValue<void*>(window));
        tabs_->setTabToolTip(tab, QString::fromStdU16String(list->name()));
    }
    switchToTab(tabs_->currentIndex());
}

void HistoryWindow::listRemoved(cb::RecordList* list) {
    const int tab = tabOf(list);
    if (tab < 0) return;
    RecordListWindow* window = listWindow(tab);
    {
        const QSignalBlocker block(tabs_);
        tabs_->removeTab(tab);
    }
    if (window == current_) current_ = nullptr;
    switchToTab(currentTabIndex());
    // The list goes right after this call, but the window may be in the middle of handling an
    // event (the command came from its menu): it lets go of the list now and goes later.
    window->detachFromList();
    window->hide();
    window->deleteLater();
}

void HistoryWindow::listeningListChanged(cb::RecordList* oldList, cb::RecordList* newList) {
    updateCaption(oldList);
    updateCaption(newList);
    emit listFactsChanged();
}

void HistoryWindow::listChanged(cb::RecordList* list) { updateCaption(list); }

void HistoryWindow::listMoved(int from, int to) {
    if (from < 0 || from >= tabs_->count()) return;
    // The list lands before the one that stood at `to`.
    const int target = from < to ? to - 1 : to;
    {
        const QSignalBlocker block(tabs_);
        tabs_->moveTab(from, std::clamp(target, 0, tabs_->count() - 1));
        for (int i = 0; i < tabs_->count(); ++i)
            if (listWindow(i) == current_) tabs_->setCurrentIndex(i);
    }
}

// ---- tabs

void HistoryWindow::switchToTab(int index) {
    RecordListWindow* window = listWindow(index);
    if (window == current_) return;
    if (current_) current_->hide();
    current_ = window;
    if (window) {
        window->setGeometry(0, kStripHeight, width(), std::max(0, height() - kStripHeight));
        window->show();
        if (window->selectedRow() < 0 && window->rowCount() > 0)
            window->selectRow(0);
        else
            window->scrollToRow(window->selectedRow());
    }
    emit currentListChanged();
    emit selectedRecordChanged();
    emit listFactsChanged();
}

void HistoryWindow::moveTabByUser(int from, int to) {
    if (from < 0 || to < 0 || from >= tabs_->count() || to >= tabs_->count() || from == to) return;
    draggedList_ = &listWindow(from)->list();
    {
        const QSignalBlocker block(tabs_);
        tabs_->moveTab(from, to);
    }
    commitTabDrag();
}

void HistoryWindow::commitTabDrag() {
    cb::RecordList* list = draggedList_;
    draggedList_ = nullptr;
    if (list == nullptr) return;
    const int from = history().indexOf(list);
    const int to = tabOf(list);
    if (from < 0 || to < 0 || from == to) return;
    // The strip has moved the tab already: the history moves the list without telling us.
    history().removeObserver(this);
    const int n = static_cast<int>(history().count());
    if (to > from && to == n - 1) {
        // A list lands before another one, so the end takes two steps: before the last list,
        // then the last list before it.
        history().moveList(from, n - 1);
        history().moveList(n - 1, n - 2);
    } else {
        history().moveList(from, to > from ? to + 1 : to);
    }
    history().addObserver(this);
    if (context_.actions.historyChanged) context_.actions.historyChanged();
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabs_ || watched == strip_) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint pos = watched == tabs_ ? mouse->position().toPoint()
                                                : tabs_->mapFrom(strip_, mouse->position().toPoint());
            const int tab = watched == tabs_ ? tabs_->tabAt(pos) : -1;
            if (mouse->button() == Qt::RightButton) {
                if (tab >= 0) showListMenu(tab);
                return true;
            }
            if (mouse->button() == Qt::LeftButton) {
                if (tab >= 0) {
                    draggedList_ = &listWindow(tab)->list();
                } else if (dragByTabStrip_) {
                    // The empty strip is the popup's, the floating and the menu window's
                    // title bar.
                    if (QWindow* handle = window()->windowHandle()) handle->startSystemMove();
                    emit stripDragStarted();
                    return true;
                }
            }
        } else if (event->type() == QEvent::MouseButtonRelease && watched == tabs_) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                QTimer::singleShot(0, this, [this] { commitTabDrag(); });
        } else if (event->type() == QEvent::ContextMenu && watched == tabs_) {
            // The keyboard's menu key on the strip: the current tab's menu.
            if (static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse &&
                tabs_->currentIndex() >= 0)
                showListMenu(tabs_->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HistoryWindow::layoutChildren() {
    strip_->setGeometry(0, 0, width(), kStripHeight);
    tabs_->setGeometry(0, 0, std::min(width(), tabs_->sizeHint().width()), kStripHeight);
    tabs_->setMaximumWidth(width());
    if (current_) current_->setGeometry(0, kStripHeight, width(), std::max(0, height() - kStripHeight));
}

void HistoryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

// ---- records

cb::RecordPtr HistoryWindow::selectedRecord(int row) const {
    if (!current_) return {};
    return current_->recordAt(row < 0 ? current_->selectedRow() : row);
}

void HistoryWindow::pasteRecord(int row, QWidget* windowToHide) {
    if (!current_) return;
    const cb::RecordPtr record = selectedRecord(row);
    if (!record) return;
    QPointer<RecordListWindow> window = current_;
    auto paste = [this, window, record] {
        if (!window) return;
        cb::RecordList& list = window->list();
        if (list.moveToFront()) {
            const int index = list.indexOf(record);
            if (index > 0) list.moveToFront(static_cast<size_t>(index));
        }
        if (context_.actions.pasteRecord) context_.actions.pasteRecord(record, &list);
    };
    if (windowToHide) {
        windowToHide->hide();
        // Lets the focus go back to the program the user was typing in before the paste.
        QTimer::singleShot(20, this, paste);
    } else {
        paste();
    }
}

void HistoryWindow::selectAdjacentRecord(bool next) {
    if (!current_) return;
    const int rows = current_->rowCount();
    if (rows == 0) return;
    const int selected = current_->selectedRow();
    if (selected < 0) {
        current_->selectRow(0);
        return;
    }
    int row = selected + (next ? 1 : -1);
    if (row >= rows) row = 0;
    if (row < 0) row = rows - 1;
    current_->selectRow(row);
}

bool HistoryWindow::executeCommand(int id) { return commands_->execute(id); }
bool HistoryWindow::isCommandEnabled(int id) const {
    // What the command itself can do now, and the main window's rules for its menus.
    return commands_->isEnabled(id) && commandEnabled(static_cast<CommandId>(id), currentListFacts());
}

// ---- menus

std::unique_ptr<QMenu> HistoryWindow::buildMenu(std::span<const MenuEntry> entries) const {
    auto menu = std::make_unique<QMenu>();
    for (const MenuEntry& entry : entries) {
        if (entry.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(tr(entry.text));
        action->setData(entry.id);
    }
    return menu;
}

void HistoryWindow::appendSendTo(QMenu& menu, int firstHostId, int otherId) const {
    QMenu* sendTo = menu.addMenu(tr("&Send To"));
    const auto& hosts = context_.config.rememberedHosts();
    int added = 0;
    for (const NetworkAddress& host : hosts) {
        if (added == list_command::kMaxSendToHosts) break;
        QAction* action = sendTo->addAction(QString::fromStdString(host.displayText()));
        action->setData(firstHostId + added);
        ++added;
    }
    if (added > 0) sendTo->addSeparator();
    sendTo->addAction(tr("Other Computer..."))->setData(otherId);
}

void HistoryWindow::trackMenu(QMenu& menu, const QPoint& globalPos, bool updateEnabled) {
    ViewActions& actions = context_.actions;
    if (updateEnabled) {
        std::function<void(QMenu&)> update = [&](QMenu& m) {
            for (QAction* action : m.actions()) {
                if (action->menu())
                    update(*action->menu());
                else if (action->data().isValid())
                    action->setEnabled(isCommandEnabled(action->data().toInt()));
            }
        };
        update(menu);
    }
    QPointer<HistoryWindow> self(this);
    QAction* chosen = nullptr;
    if (actions.popupMenu) {
        const std::optional<QAction*> result = actions.popupMenu(menu, globalPos);
        if (!result) return;  // refused: a modal window or another menu is open
        chosen = *result;
    } else {
        if (actions.modalWindowOpen && actions.modalWindowOpen()) return;
        chosen = menu.exec(globalPos);
    }
    if (self && chosen && chosen->data().isValid()) executeCommand(chosen->data().toInt());
}

ListFacts HistoryWindow::currentListFacts() const {
    ListFacts facts;
    if (!current_ || current_->detached()) return facts;
    facts.count = current_->rowCount();
    facts.selected = current_->selectedRow() >= 0;
    facts.search = dynamic_cast<const SearchList*>(&current_->list()) != nullptr;
    facts.listening = history().listeningList() == &current_->list();
    return facts;
}

void HistoryWindow::showListMenu(int tabIndex) { Q_UNUSED(tabIndex); }
void HistoryWindow::showRecordMenu(int row, const QPoint& globalPos) {
    Q_UNUSED(row);
    Q_UNUSED(globalPos);
}

namespace {

using list_command::kSendListFirst;
using list_command::kSendListOther;
using list_command::kSendRecordFirst;
using list_command::kSendRecordOther;

}  // namespace

constexpr HistoryWindow::MenuEntry kListMenu[] = {
    {"&Listen to Clipboard", list_command::kListenToClipboard},
    {"&New List...", list_command::kNewList},
    {"&Remove", list_command::kRemoveList},
    {"&Save...", list_command::kSaveList},
    {"L&oad...", list_command::kLoadList},
    {"", 0},
    {"&Export...", list_command::kExport},
    {"", 0},
    {"&Multiple Paste...", list_command::kMultiplePaste},
    {"Paste &All", list_command::kPasteAll},
    {"", 0},
    {"M&ultiple Delete...", list_command::kMultipleDelete},
    {"D&elete All", list_command::kDeleteAll},
    {"", 0},
    {"&Properties...", list_command::kListProperties},
    {"", 0},
};

constexpr HistoryWindow::MenuEntry kRecordMenu[] = {
    {"&Copy", list_command::kCopy},
    {"&Paste", list_command::kPaste},
    {"&Delete", list_command::kDelete},
    {"", 0},
};

constexpr HistoryWindow::MenuEntry kMenuListMenu[] = {
    {"&Multiple Paste...", list_command::kMultiplePaste},
    {"Paste &All", list_command::kPasteAll},
    {"", 0},
    {"M&ultiple Delete...", list_command::kMultipleDelete},
    {"D&elete All", list_command::kDeleteAll},
};

MainHistoryWindow::MainHistoryWindow(ViewContext& context, QWidget* parent)
    : HistoryWindow(context, parent) {
    setDragByTabStrip(false);
    setAccessibleName(tr("Clipboard history"));
}

void MainHistoryWindow::showListMenu(int tabIndex) {
    selectTab(tabIndex);
    auto menu = buildMenu(kListMenu);
    appendSendTo(*menu, kSendListFirst, kSendListOther);
    trackMenu(*menu, QCursor::pos(), true);
}

void MainHistoryWindow::showRecordMenu(int row, const QPoint& globalPos) {
    if (currentListWindow()) currentListWindow()->selectRow(row);
    auto menu = buildMenu(kRecordMenu);
    appendSendTo(*menu, kSendRecordFirst, kSendRecordOther);
    trackMenu(*menu, globalPos, true);
}

FloatingHistoryWindow::FloatingHistoryWindow(ViewContext& context, QWidget* parent)
    : HistoryWindow(context, parent) {
    setAccessibleName(tr("Floating clipboard history"));
}

void FloatingHistoryWindow::showListMenu(int tabIndex) {
    selectTab(tabIndex);
    auto menu = buildMenu(kListMenu);
    appendSendTo(*menu, kSendListFirst, kSendListOther);
    trackMenu(*menu, QCursor::pos(), true);
}

void FloatingHistoryWindow::showRecordMenu(int row, const QPoint& globalPos) {
    if (currentListWindow()) currentListWindow()->selectRow(row);
    auto menu = buildMenu(kRecordMenu);
    appendSendTo(*menu, kSendRecordFirst, kSendRecordOther);
    trackMenu(*menu, globalPos, true);
}

void FloatingHistoryWindow::rowDoubleClicked(int row) { pasteRecord(row, nullptr); }

PopupWindow::PopupWindow(ViewContext& context, QWidget* parent) : HistoryWindow(context, parent) {
    setAccessibleName(tr("Clipboard popup"));
}

MenuWindow::MenuWindow(ViewContext& context, QWidget* parent) : HistoryWindow(context, parent) {
    setAccessibleName(tr("Clipboard menu"));
}

void MenuWindow::showListMenu(int tabIndex) {
    selectTab(tabIndex);
    auto menu = buildMenu(kMenuListMenu);
    trackMenu(*menu, QCursor::pos(), false);
}

void MenuWindow::showRecordMenu(int row, const QPoint& globalPos) {
    if (currentListWindow()) currentListWindow()->selectRow(row);
    auto menu = buildMenu(kRecordMenu);
    appendSendTo(*menu, kSendRecordFirst, kSendRecordOther);
    trackMenu(*menu, globalPos, false);
}

void MenuWindow::rowClicked(int row) {
    if (pasteClickedRow)
        pasteClickedRow(row);
    else
        pasteRecord(row, nullptr);
}
