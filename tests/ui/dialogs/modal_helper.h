#pragma once

// Drives modal windows the way a person would: whatever opens modally while `trigger` runs is
// handed to `handle` (which answers it), and message boxes are read and closed.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace testing_ui {

// Calls `handle` once with the first modal window that opens during `trigger` (other than the
// one open before). True when one opened.
inline bool withNextModal(const std::function<void()>& trigger,
                          const std::function<void(QWidget*)>& handle) {
    QWidget* before = QApplication::activeModalWidget();
    bool handled = false;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* now = QApplication::activeModalWidget();
        if (handled || !now || now == before) return;
        handled = true;
        timer.stop();
        handle(now);
    });
    timer.start();
    trigger();
    timer.stop();
    return handled;
}

// The text of the message box that `trigger` shows (closed with OK); empty when none showed.
inline QString messageShownBy(const std::function<void()>& trigger) {
    QString text;
    withNextModal(trigger, [&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            text = box->text();
            if (box->windowTitle() != QStringLiteral("Error") ||
                box->icon() != QMessageBox::Critical)
                text = QStringLiteral("<not an error box> ") + text;
            box->done(QMessageBox::Ok);
        } else {
            text = QStringLiteral("<not a message box>");
            w->close();
        }
    });
    return text;
}

template <class T>
T* child(QWidget* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no child %s", name);
    return w;
}

}  // namespace testing_ui
