#pragma once

// The floating window: a small always-on-top tool window with a toolbar (Multiple Paste, Paste
// All, Delete, Delete All, Options) over a history window. It shrinks to its toolbar ("Tool bar
// mode") and grows back to at least 180 pixels, is moved by dragging its own area, and is driven
// with the mouse or with the floating keys. It never takes the focus when it appears, and a paste
// from it goes to the program the user worked in before turning to it.

#include <QWidget>
#include <functional>

#include "engine/shortcut_dispatch.h"
#include "ui/views/history_window.h"

class QAction;
class QSizeGrip;
class QToolBar;
class QToolButton;

class FloatingWindow final : public QWidget, public engine::FloatingKeys {
    Q_OBJECT
public:
    static constexpr int kMinExpandedHeight = 180;
    static constexpr int kOptionsCommand = 32785;

    // Created hidden unless option 15 says it was visible; rectangle from option 7 (kept on a
    // monitor), tab from option 11, height to expand to from option 33.
    // command: commands that are not the list's (Options); contextMenu: the tray menu at the point.
    FloatingWindow(ViewContext& context, std::function<void(int command)> command,
                   std::function<void(const QPoint& globalPos)> contextMenu);
    ~FloatingWindow() override;

    FloatingHistoryWindow& history() const { return *history_; }
    int expandedHeight() const { return expandedHeight_; }
    QToolButton& closeButton() const { return *close_; }
    QToolButton& modeButton() const { return *mode_; }
    QAction* toolbarAction(int command) const;

    // Options 7, 11, 15 and 33.
    void save();
    // Shown when hidden, hidden when shown.
    void toggle();

    // engine::FloatingKeys
    bool floatingVisible() const override { return isVisible(); }
    bool floatingExpanded() const override;
    void expandFloating() override;
    void collapseFloating() override;
    void showFloating() override;
    void hideFloating() override { hide(); }
    void selectAdjacentInFloating(bool next) override;
    void pasteFloatingSelection() override;

signals:
    void visibilityChanged(bool visible);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void layoutChildren();
    void updateEnabledStates();
    void updateModeButton();
    int toolbarHeight() const;

    ViewContext& context_;
    std::function<void(int)> command_;
    std::function<void(const QPoint&)> contextMenu_;
    QToolBar* toolbar_;
    QToolButton* close_;
    QToolButton* mode_;
    FloatingHistoryWindow* history_;
    QSizeGrip* grip_;
    int expandedHeight_ = kMinExpandedHeight;
};
