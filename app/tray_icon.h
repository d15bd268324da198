#pragma once

// The program's icon in the desktop's tray: the normal icon, or the new-version icon after a
// version check found one; after each capture (and after records arrive from another computer)
// seven animation frames 150 ms apart, then the icon it showed before. A new start during an
// animation begins again at the first frame.

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QTimer>

#include <array>
#include <chrono>

class TrayIcon : public QObject {
    Q_OBJECT

public:
    static constexpr int frameCount = 7;

    explicit TrayIcon(std::chrono::milliseconds frameInterval = std::chrono::milliseconds(150),
                      QObject* parent = nullptr);

    void show();
    void hide();
    // Whether the desktop has a tray that shows the icon.
    static bool desktopHasTray();

    void startAnimation();
    // The frame shown (0 to 6), -1 while no animation runs.
    int animationPosition() const { return position_; }

    void setNewVersion(bool newVersion);
    bool showsNewVersion() const { return newVersion_; }

    QSystemTrayIcon& systemTrayIcon() { return tray_; }

signals:
    void leftClicked();
    void rightClicked();
    // The image changed: a frame of the animation (0 to 6), or -1 for the current icon.
    void imageShown(int frame);

private:
    void step();
    const QIcon& currentIcon();
    // The overlaid icons are drawn when first needed, so that the icon shows at once at start.
    const QIcon& frame(int index);

    QSystemTrayIcon tray_;
    QIcon normalIcon_;
    QIcon newVersionIcon_;
    std::array<QIcon, frameCount> frames_;
    QTimer timer_;
    int position_ = -1;
    bool newVersion_ = false;
};
