#pragma once

// The popup window at the caret as the shortcuts drive it: the history window "PopupWindow" as a
// top-level window that never takes the focus (the program the user types in keeps it, and the
// paste goes there), shown at the caret of the focused window, kept on its monitor, and pasting
// the selected record, or only its text in plain-text mode.

#include <QObject>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>

#include "engine/shortcut_dispatch.h"
#include "platform/popup_placement.h"
#include "ui/views/history_window.h"

class CaretPopup final : public QObject, public engine::PopupKeys {
    Q_OBJECT
public:
    // Tells, possibly later (the caret is asked of another program, at most 100 ms), what is
    // known of the focused window; nothing when there is no focused window of another program.
    using FocusProbe = std::function<void(std::function<void(std::optional<platform::FocusFacts>)>)>;

    // Creates the window hidden, with its rectangle from option 35 and its tab from option 12.
    // pickingShown: told whenever the window appears or goes (the engine grabs the popup's own
    // keys only while it shows).
    CaretPopup(ViewContext& context, FocusProbe probe, std::function<void(bool shown)> pickingShown);
    ~CaretPopup() override;

    PopupWindow& window() { return *window_; }
    // Option 35 := the window's rectangle, option 12 := its tab.
    void save();

    // engine::PopupKeys. Shown also while the place is being looked up.
    bool popupVisible() const override;
    void showPopup(bool plainText) override;
    void selectAdjacentInPopup(bool next) override;
    void pastePopupSelection() override;
    void hidePopup() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showAt(const std::optional<platform::FocusFacts>& facts);
    void pastePlainText();

    ViewContext& context_;
    FocusProbe probe_;
    std::function<void(bool)> pickingShown_;
    std::unique_ptr<PopupWindow> window_;
    // Counts shows, so that a late answer for an earlier show is ignored.
    uint64_t showSerial_ = 0;
    bool placing_ = false;
};
