#include "ui/popup/caret_popup.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <vector>

#include "engine/clipboard_writer.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "ui/common/window_class.h"
#include "ui/popup/screen_geometry.h"

namespace {

// A click on a row picks it too: the popup opened by a command of the desktop's keyboard settings
// is not always held open by the shortcut's modifiers.
class ClickablePopupWindow final : public PopupWindow {
public:
    ClickablePopupWindow(ViewContext& context, std::function<void(int row)> picked)
        : PopupWindow(context), picked_(std::move(picked)) {}

protected:
    void rowClicked(int row) override { picked_(row); }

private:
    std::function<void(int)> picked_;
};

}  // namespace

CaretPopup::CaretPopup(ViewContext& context, FocusProbe probe, std::function<void(bool)> pickingShown)
    : context_(context), probe_(std::move(probe)), pickingShown_(std::move(pickingShown)),
      window_(std::make_unique<ClickablePopupWindow>(context, [this](int row) {
          if (RecordListWindow* rows = window_->currentListWindow()) rows->selectRow(row);
          pastePopupSelection();
      })) {
    // A tool tip is an override-redirect window: no window manager gives it the focus when it
    // shows or is clicked, so the program the user types in keeps it.
    window_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowDoesNotAcceptFocus);
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->setWindowTitle(tr("Quillet"));
    setWindowInstanceName(*window_, "quillet-popup");
    const cmn::option<int>& o = context_.config.options();
    const platform::Rect saved = o.getRect(kOptPopupRect, platform::Rect{0, 0, 150, 300});
    if (saved.width() > 0 && saved.height() > 0) window_->setGeometry(toQRect(saved));
    window_->selectTab(o.getInt(kOptPopupTab, 0));
    window_->installEventFilter(this);
}

CaretPopup::~CaretPopup() = default;

void CaretPopup::save() {
    context_.config.options().setRect(kOptPopupRect, toRect(window_->geometry()));
    context_.config.options().setInt(kOptPopupTab, window_->currentTabIndex());
}

bool CaretPopup::popupVisible() const { return placing_ || window_->isVisible(); }

void CaretPopup::showPopup(bool plainText) {
    window_->setPlainTextMode(plainText);
    const uint64_t serial = ++showSerial_;
    const bool autoPosition = context_.config.options().getBool(kOptPopupAutoPosition, true);
    if (!autoPosition || !probe_) return showAt(std::nullopt);
    placing_ = true;
    if (pickingShown_) pickingShown_(true);  // its keys are wanted while it is being placed too
    QPointer<CaretPopup> self(this);
    probe_([self, serial](std::optional<platform::FocusFacts> facts) {
        // The answer may come from a worker: the window is placed on its own thread.
        QMetaObject::invokeMethod(
            self, [self, serial, facts] {
                if (!self || serial != self->showSerial_ || !self->placing_) return;
                self->showAt(facts);
            },
            Qt::QueuedConnection);
    });
}

void CaretPopup::showAt(const std::optional<platform::FocusFacts>& facts) {
    placing_ = false;
    if (facts) {
        const platform::Point anchor = platform::popupAnchor(*facts);
        QRect place = window_->geometry();
        place.moveTopLeft(QPoint(anchor.x, anchor.y));
        const std::vector<platform::Rect> screens = screenRects();
        window_->setGeometry(toQRect(platform::fitRectToMonitor(toRect(place), screens)));
    }
    window_->show();
    window_->raise();
    RecordListWindow* rows = window_->currentListWindow();
    if (rows && rows->rowCount() > 0 && context_.config.options().getBool(kOptPopupSelectFirst, true))
        rows->selectRow(0);
}

void CaretPopup::selectAdjacentInPopup(bool next) {
    window_->selectAdjacentRecord(next);
    if (window_->isVisible()) window_->raise();
}

void CaretPopup::pastePopupSelection() {
    if (placing_) showAt(std::nullopt);  // the user was quicker than the caret lookup
    if (window_->plainTextMode()) return pastePlainText();
    window_->pasteRecord(-1, window_.get());
}

void CaretPopup::pastePlainText() {
    const cb::RecordPtr record = window_->selectedRecord();
    window_->hide();
    if (!record) return;
    QPointer<RecordListWindow> rows = window_->currentListWindow();
    QTimer::singleShot(20, this, [this, record, rows] {
        if (rows) {
            cb::RecordList& list = rows->list();
            const int index = list.indexOf(record);
            if (list.moveToFront() && index > 0) list.moveToFront(static_cast<size_t>(index));
        }
        // Only the text, in a record of its own that no list keeps.
        cb::RecordPtr text(new cb::Record());
        if (!cb::makeTextOnlyRecord(*text, record->text())) return;
        if (context_.actions.pasteRecord) context_.actions.pasteRecord(text, nullptr);
    });
}

void CaretPopup::hidePopup() {
    const bool wasPlacing = placing_ && !window_->isVisible();
    placing_ = false;
    window_->hide();
    if (wasPlacing && pickingShown_) pickingShown_(false);
}

bool CaretPopup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get() && (event->type() == QEvent::Show || event->type() == QEvent::Hide) && pickingShown_)
        pickingShown_(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}
