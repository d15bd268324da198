#pragma once

// The menu window: the history window "MenuWindow" opened at the mouse pointer by a left click on
// the tray icon. A click on a row pastes that row into the program the user worked in; a click
// anywhere outside the window, or Escape, closes it without pasting.

#include <QObject>
#include <functional>
#include <memory>

#include "engine/shortcut_dispatch.h"
#include "ui/views/history_window.h"

class PointerMenu final : public QObject, public engine::MenuKeys {
    Q_OBJECT
public:
    // Created hidden with its size from option 9 and its tab from option 13. shownChanged: told
    // whenever the window appears or goes.
    PointerMenu(ViewContext& context, std::function<void(bool shown)> shownChanged);
    ~PointerMenu() override;

    MenuWindow& window() { return *window_; }
    // Option 9 := its size, option 13 := its tab.
    void save();

    // At the pointer, on the side of it where the window fits on the primary screen (left of it
    // in the screen's right half, above it in the bottom half), with nothing selected. Nothing
    // while it shows already.
    void showAtPointer();
    static QPoint placeAtPointer(const QPoint& pointer, const QSize& size, const QRect& screen);

    // engine::MenuKeys
    bool menuVisible() const override;
    void hideMenu() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ViewContext& context_;
    std::function<void(bool)> shownChanged_;
    std::unique_ptr<MenuWindow> window_;
};
