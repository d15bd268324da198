#include "ui/popup/pointer_menu.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "ui/common/window_class.h"

PointerMenu::PointerMenu(ViewContext& context, std::function<void(bool)> shownChanged)
    : context_(context), shownChanged_(std::move(shownChanged)), window_(std::make_unique<MenuWindow>(context)) {
    // A pop-up window: the toolkit closes it on a click anywhere outside it and on Escape, and
    // the click outside still reaches what was clicked. It is shown without the window
    // manager, so the program the user worked in stays the one a paste goes to.
    window_->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window_->setWindowTitle(tr("Quillet"));
    setWindowInstanceName(*window_, "quillet-menu");
    const cmn::option<int>& o = context_.config.options();
    const platform::Size size = o.getSize(kOptMenuWindowSize, platform::Size{150, 300});
    window_->resize(size.cx > 0 ? size.cx : 150, size.cy > 0 ? size.cy : 300);
    window_->selectTab(o.getInt(kOptMenuTab, 0));
    window_->pasteClickedRow = [this](int row) {
        if (window_->isVisible()) window_->pasteRecord(row, window_.get());
    };
    window_->installEventFilter(this);
}

PointerMenu::~PointerMenu() = default;

void PointerMenu::save() {
    context_.config.options().setSize(kOptMenuWindowSize, platform::Size{window_->width(), window_->height()});
    context_.config.options().setInt(kOptMenuTab, window_->currentTabIndex());
}

QPoint PointerMenu::placeAtPointer(const QPoint& pointer, const QSize& size, const QRect& screen) {
    const QPoint middle(screen.x() + screen.width() / 2, screen.y() + screen.height() / 2);
    return QPoint(pointer.x() > middle.x() ? pointer.x() - size.width() : pointer.x(),
                  pointer.y() > middle.y() ? pointer.y() - size.height() : pointer.y());
}

void PointerMenu::showAtPointer() {
    if (window_->isVisible()) return;
    if (RecordListWindow* rows = window_->currentListWindow()) rows->selectRow(-1);
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect screen = primary ? primary->geometry() : QRect();
    window_->move(placeAtPointer(QCursor::pos(), window_->size(), screen));
    window_->show();
    window_->raise();
}

bool PointerMenu::menuVisible() const { return window_->isVisible(); }

void PointerMenu::hideMenu() { window_->hide(); }

bool PointerMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get() && (event->type() == QEvent::Show || event->type() == QEvent::Hide) && shownChanged_)
        shownChanged_(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}
