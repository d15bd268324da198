#include "app/tray_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QString>

namespace {

const int iconSizes[] = {16, 22, 24, 32, 48, 64};

// The base icon with `overlay` drawn over it, at every size a tray may ask for: a pixel stays
// transparent only where both images are.
QIcon withOverlay(const QString& base, const QString& overlay) {
    const QIcon baseIcon(base);
    const QIcon overlayIcon(overlay);
    QIcon combined;
    for (int size : iconSizes) {
        QPixmap pixmap = baseIcon.pixmap(size, size);
        QPainter painter(&pixmap);
        overlayIcon.paint(&painter, 0, 0, size, size);
        painter.end();
        combined.addPixmap(pixmap);
    }
    return combined;
}

}  // namespace

TrayIcon::TrayIcon(std::chrono::milliseconds frameInterval, QObject* parent)
    : QObject(parent), normalIcon_(QStringLiteral(":/icons/quillet.svg")) {
    newVersionIcon_ = withOverlay(QStringLiteral(":/icons/quillet.svg"), QStringLiteral(":/icons/new_version.svg"));
    for (int i = 0; i < frameCount; ++i)
        frames_[static_cast<size_t>(i)] = withOverlay(QStringLiteral(":/icons/quillet.svg"),
                                                      QStringLiteral(":/icons/capture_%1.svg").arg(i + 1));
    tray_.setIcon(normalIcon_);
    tray_.setToolTip(QStringLiteral("Quillet"));
    timer_.setInterval(frameInterval);
    connect(&timer_, &QTimer::timeout, this, &TrayIcon::step);
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit leftClicked();
        else if (reason == QSystemTrayIcon::Context)
            emit rightClicked();
    });
}

void TrayIcon::show() { tray_.show(); }
void TrayIcon::hide() { tray_.hide(); }
bool TrayIcon::desktopHasTray() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::startAnimation() {
    timer_.stop();
    position_ = -1;
    step();
    timer_.start();
}

void TrayIcon::step() {
    ++position_;
    if (position_ < frameCount) {
        tray_.setIcon(frames_[static_cast<size_t>(position_)]);
        emit imageShown(position_);
        return;
    }
    position_ = -1;
    timer_.stop();
    tray_.setIcon(currentIcon());
    emit imageShown(-1);
}

void TrayIcon::setNewVersion(bool newVersion) {
    newVersion_ = newVersion;
    if (position_ < 0)
        tray_.setIcon(currentIcon());
}
