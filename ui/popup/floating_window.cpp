#include "ui/popup/floating_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QSizeGrip>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/popup_placement.h"
#include "ui/common/command_ids.h"
#include "ui/common/window_class.h"
#include "ui/icons/icons.h"
#include "ui/popup/screen_geometry.h"

namespace {

struct ToolbarButton {
    CommandId id;
    const char* icon;
};

// The toolbar's buttons in order; a null icon is a separator.
constexpr ToolbarButton kButtons[] = {
    {CommandId::MultiplePaste, "multiple_paste"}, {CommandId::PasteAll, "paste_all"},
    {CommandId::Start, nullptr},                  {CommandId::Delete, "delete"},
    {CommandId::DeleteAll, "delete_all"},         {CommandId::Start, nullptr},
    {CommandId::Options, "options"},
};

constexpr int kButtonSide = 14;

}  // namespace

FloatingWindow::FloatingWindow(ViewContext& context, std::function<void(int)> command,
                               std::function<void(const QPoint&)> contextMenu)
    : context_(context), command_(std::move(command)), contextMenu_(std::move(contextMenu)),
      toolbar_(new QToolBar(this)), close_(new QToolButton(this)), mode_(new QToolButton(this)),
      history_(new FloatingHistoryWindow(context, this)), grip_(new QSizeGrip(this)) {
    registerProgramIcons();
    // A tool window above the others, without a caption: it is moved by its own area. Shown
    // by the keys, it must not take the focus from the program the user types in.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(tr("Quillet"));
    setAccessibleName(tr("Floating window"));
    setWindowInstanceName(*this, "quillet-floating");

    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    for (const ToolbarButton& button : kButtons) {
        if (!button.icon) {
            toolbar_->addSeparator();
            continue;
        }
        const int id = static_cast<int>(button.id);
        QAction* action = toolbar_->addAction(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(button.icon))),
                                              commandHelp(button.id).tooltip);
        action->setData(id);
        action->setToolTip(commandHelp(button.id).tooltip);
        connect(action, &QAction::triggered, this, [this, id] {
            // The list's commands act on this window's list; the others go to the program.
            if (id != kOptionsCommand && history_->executeCommand(id)) return;
            if (command_) command_(id);
        });
    }

    close_->setToolTip(tr("Close"));
    close_->setAccessibleName(tr("Close"));
    close_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close_->setAutoRaise(true);
    connect(close_, &QToolButton::clicked, this, &QWidget::hide);
    mode_->setAutoRaise(true);
    connect(mode_, &QToolButton::clicked, this, [this] { floatingExpanded() ? collapseFloating() : expandFloating(); });
    for (QToolButton* button : {close_, mode_}) {
        button->setFixedSize(kButtonSide, kButtonSide);
        button->setIconSize(QSize(kButtonSide - 4, kButtonSide - 4));
        button->setFocusPolicy(Qt::NoFocus);
    }

    connect(history_, &HistoryWindow::listFactsChanged, this, &FloatingWindow::updateEnabledStates);
    updateEnabledStates();

    const cmn::option<int>& o = context_.config.options();
    expandedHeight_ = std::max(kMinExpandedHeight, o.getInt(kOptFloatingExpandedHeight, 0));
    setMinimumSize(toolbar_->sizeHint().width() + 2 * kButtonSide + 10, toolbarHeight());
    platform::Rect saved = o.getRect(kOptFloatingRect, platform::Rect{0, 0, 150, 300});
    if (saved.width() > 0 && saved.height() > 0) {
        // Never narrower than the toolbar with its buttons: the window manager would widen the
        // window past what we lay out, and the strip beside it would stay unpainted.
        saved.right = saved.left + std::max(saved.width(), minimumWidth());
        const std::vector<platform::Rect> screens = screenRects();
        setGeometry(toQRect(platform::fitRectToMonitor(saved, screens)));
    }
    if (height() <= toolbarHeight()) history_->hide();  // it was left in toolbar mode
    history_->selectTab(o.getInt(kOptFloatingTab, 0));
    layoutChildren();
    if (o.getBool(kOptFloatingVisible, true)) showFloating();
}

FloatingWindow::~FloatingWindow() = default;

QAction* FloatingWindow::toolbarAction(int command) const {
    for (QAction* action : toolbar_->actions())
        if (action->data().toInt() == command) return action;
    return nullptr;
}

void FloatingWindow::save() {
    cmn::option<int>& o = context_.config.options();
    o.setRect(kOptFloatingRect, toRect(geometry()));
    o.setInt(kOptFloatingTab, history_->currentTabIndex());
    o.setBool(kOptFloatingVisible, isVisible());
    o.setInt(kOptFloatingExpandedHeight, floatingExpanded() ? std::max(kMinExpandedHeight, height()) : expandedHeight_);
}

void FloatingWindow::toggle() { isVisible() ? hide() : showFloating(); }

int FloatingWindow::toolbarHeight() const { return std::max(toolbar_->sizeHint().height(), 2 * kButtonSide); }

bool FloatingWindow::floatingExpanded() const { return history_->height() > 0 && !history_->isHidden(); }

void FloatingWindow::expandFloating() {
    resize(width(), std::max(expandedHeight_, kMinExpandedHeight));
    history_->show();
    layoutChildren();
    if (isVisible()) raise();
}

void FloatingWindow::collapseFloating() {
    if (!floatingExpanded()) return;
    expandedHeight_ = std::max(height(), kMinExpandedHeight);
    history_->hide();
    resize(width(), toolbarHeight());
    layoutChildren();
    if (isVisible()) raise();
}

void FloatingWindow::showFloating() {
    show();
    raise();
}

void FloatingWindow::selectAdjacentInFloating(bool next) {
    history_->selectAdjacentRecord(next);
    raise();
}

void FloatingWindow::pasteFloatingSelection() { history_->pasteRecord(-1, nullptr); }

void FloatingWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A height above the toolbar's is the list's: the user pulled the window open.
    if (height() > toolbarHeight() && history_->isHidden()) history_->show();
    layoutChildren();
}

void FloatingWindow::layoutChildren() {
    const int w = width(), t = toolbarHeight();
    toolbar_->setGeometry(0, 0, std::max(0, w - kButtonSide - 2), t);
    close_->move(w - kButtonSide - 1, 0);
    mode_->move(w - kButtonSide - 1, kButtonSide);
    const int rest = history_->isHidden() ? 0 : std::max(0, height() - t);
    history_->setGeometry(0, t, w, rest);
    grip_->setVisible(rest > 0);
    grip_->move(w - grip_->sizeHint().width(), height() - grip_->sizeHint().height());
    grip_->raise();
    updateModeButton();
}

void FloatingWindow::updateModeButton() {
    const bool expanded = floatingExpanded();
    const QString tip = expanded ? tr("Tool bar mode") : tr("Expand floating window");
    mode_->setToolTip(tip);
    mode_->setAccessibleName(tip);
    mode_->setIcon(style()->standardIcon(expanded ? QStyle::SP_TitleBarShadeButton : QStyle::SP_TitleBarUnshadeButton));
}

void FloatingWindow::updateEnabledStates() {
    for (QAction* action : toolbar_->actions()) {
        const int id = action->data().toInt();
        if (id != 0 && id != kOptionsCommand) action->setEnabled(history_->isCommandEnabled(id));
    }
}

void FloatingWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton && contextMenu_) {
        contextMenu_(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void FloatingWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit visibilityChanged(true);
}

void FloatingWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}
