#include "app/tray_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QString>

#include "ui/icons/icons.h"

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

TrayIcon::TrayIcon(std::chrono::milliseconds frameInterval, QObject* parent) : QObject(parent) {
    registerProgramIcons();
    normalIcon_ = QIcon(QStringLiteral(":/icons/quillet.svg"));
    tray_.setIcon(normalIcon_);
    tray_.setToolTip(QStringLiteral("Quillet"));
    timer_.setInterval(frameInterval);
    connect(&timer_, &QTimer::timeout, this, &TrayIcon::step);
    // Queued: what a click opens (a menu, a dialog) runs its own loop, and the tray that
    // reported the click waits for its answer until the click's handling returns.
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            QMetaObject::invokeMethod(this, &TrayIcon::leftClicked, Qt::QueuedConnection);
        else if (reason == QSystemTrayIcon::Context)
            QMetaObject::invokeMethod(this, &TrayIcon::rightClicked, Qt::QueuedConnection);
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
        tray_.setIcon(frame(position_));
        emit imageShown(position_);
        return;
    }
    position_ = -1;
    timer_.stop();
    tray_.setIcon(currentIcon());
    emit imageShown(-1);
}

const QIcon& TrayIcon::currentIcon() {
    if (!newVersion_)
        return normalIcon_;
    if (newVersionIcon_.isNull())
        newVersionIcon_ = withOverlay(QStringLiteral(":/icons/quillet.svg"), QStringLiteral(":/icons/new_version.svg"));
    return newVersionIcon_;
}

const QIcon& TrayIcon::frame(int index) {
    QIcon& icon = frames_[static_cast<size_t>(index)];
    if (icon.isNull())
        icon = withOverlay(QStringLiteral(":/icons/quillet.svg"), QStringLiteral(":/icons/capture_%1.svg").arg(index + 1));
    return icon;
}

void TrayIcon::setNewVersion(bool newVersion) {
    newVersion_ = newVersion;
    if (position_ < 0)
        tray_.setIcon(currentIcon());
}
