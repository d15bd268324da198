#include "app/picking_windows.h"

#include <QAction>
#include <QCursor>
#include <QStatusBar>
#include <QTimer>

#include <chrono>

#include "app/main_frame.h"
#include "app/resident_program.h"
#include "app/tray_icon.h"
#include "engine/clipboard_engine.h"
#include "persist/config/app_config.h"
#include "ui/popup/caret_popup.h"
#include "ui/popup/floating_window.h"
#include "ui/popup/pointer_menu.h"
#include "ui/views/view_context.h"

namespace app {

namespace {

// How long the popup waits for the accessibility bus to tell where the caret is before it opens
// at the pointer instead.
constexpr std::chrono::milliseconds kCaretWait{100};

}  // namespace

PickingWindows::PickingWindows(ResidentProgram& core, ViewContext& context, MainFrame& frame, TrayIcon& tray)
    : core_(core), frame_(frame), tray_(tray),
      dispatch_(core.config().options(), [&core] { core.engine().deliverPaste(); }) {
    // Where the user types: the focused window of another program, its process, the pointer,
    // and (from the accessibility bus, on its own thread, for a short while) the caret.
    CaretPopup::FocusProbe probe = [this](std::function<void(std::optional<platform::FocusFacts>)> answer) {
        platform::Desktop& desktop = core_.desktop().desktop();
        const platform::WindowHandle window = desktop.focusHelper().globalFocusWindow();
        const std::optional<platform::Rect> rect =
            desktop.isWindow(window) ? desktop.windowRect(window) : std::optional<platform::Rect>();
        if (!rect) return answer(std::nullopt);
        platform::FocusFacts facts;
        facts.window = *rect;
        facts.process = desktop.windowThreadProcessId(window).process;
        const QPoint pointer = QCursor::pos();
        facts.pointer = platform::Point{pointer.x(), pointer.y()};
        if (facts.process == 0) return answer(facts);
        // Whichever comes first opens the popup; the later answer finds it placed already.
        QTimer::singleShot(kCaretWait, popup_.get(), [answer, facts] { answer(facts); });
        caretQuery_.ask(facts.process, [answer, facts](std::optional<platform::CaretReport> caret) mutable {
            facts.caret = caret;
            answer(facts);
        });
    };
    popup_ = std::make_unique<CaretPopup>(context, std::move(probe), [this](bool) { pickingShownChanged(); });
    floating_ = std::make_unique<FloatingWindow>(
        context,
        [this](int command) {
            if (QAction* action = frame_.action(static_cast<CommandId>(command))) action->trigger();
        },
        [this, &context](const QPoint& at) {
            if (context.actions.popupMenu) context.actions.popupMenu(frame_.trayMenu(), at);
            else frame_.trayMenu().exec(at);
        });
    menu_ = std::make_unique<PointerMenu>(context, [this](bool) { pickingShownChanged(); });

    QObject::connect(floating_.get(), &FloatingWindow::visibilityChanged, &frame_,
                     [this](bool visible) { frame_.setFloatingWindowVisible(visible); });
    frame_.setFloatingWindowVisible(floating_->isVisible());

    dispatch_.setPopup(popup_.get());
    dispatch_.setFloating(floating_.get());
    dispatch_.setMenu(menu_.get());
    core_.desktop().setOnShortcutRefused([this](const platform::KeyChord& chord) { reportRefused(chord); });
    core_.engine().setKeyboardDispatch(&dispatch_);  // the shortcuts are grabbed from now on
}

PickingWindows::~PickingWindows() {
    core_.engine().setKeyboardDispatch(nullptr);
    core_.desktop().setOnShortcutRefused(nullptr);
}

void PickingWindows::save() {
    popup_->save();
    floating_->save();
    menu_->save();
}

void PickingWindows::openPopup(bool plainText) {
    // Asked again while it shows (the desktop's shortcut pressed again with its modifiers
    // held): the next record, as the popup key does.
    if (popup_->popupVisible()) return popup_->selectAdjacentInPopup(true);
    menu_->hideMenu();
    popup_->showPopup(plainText);
}

void PickingWindows::showMenuAtPointer() {
    popup_->hidePopup();
    menu_->showAtPointer();
}

void PickingWindows::toggleFloating() { floating_->toggle(); }

void PickingWindows::pickingShownChanged() {
    // Up, Down, Enter and Escape are the program's only while one of these shows.
    core_.engine().setPickingWindowShown(popup_->popupVisible() || (menu_ && menu_->menuVisible()));
}

QString PickingWindows::refusedShortcutText(const platform::KeyChord& chord) {
    return QStringLiteral("The shortcut %1 is in use by another program. You can choose another one in Options.")
        .arg(QString::fromStdString(platform::chordName(chord)));
}

void PickingWindows::reportRefused(const platform::KeyChord& chord) {
    const QString text = refusedShortcutText(chord);
    tray_.systemTrayIcon().showMessage(QStringLiteral("Quillet"), text, QSystemTrayIcon::Warning);
    frame_.statusBar()->showMessage(text);
}

}  // namespace app
