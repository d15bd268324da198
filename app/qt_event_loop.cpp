#include "app/qt_event_loop.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <vector>

namespace app {

QtEventLoop::QtEventLoop() {
    // The dispatcher of this thread exists once a QCoreApplication does.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &QtEventLoop::runRoundEnd);
}

QtEventLoop::~QtEventLoop() {
    {
        std::lock_guard lock(postMutex_);
        accepting_ = false;
    }
    for (auto& [id, timer] : timers_)
        delete timer;
    for (auto& [fd, notifier] : watches_)
        delete notifier;
}

void QtEventLoop::post(std::function<void()> fn) {
    std::lock_guard lock(postMutex_);
    if (!accepting_)
        return;
    // Queued even on the loop's own thread, so fn never runs inside this call. A call still
    // queued when this object goes away is dropped by Qt.
    QMetaObject::invokeMethod(this, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

platform::EventLoop::TimerId QtEventLoop::startTimer(std::chrono::milliseconds delay,
                                                     std::function<void()> fn) {
    const TimerId id = nextTimer_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id, fn = std::move(fn)] {
        // Out of the table before fn runs, so that fn may start or cancel timers freely.
        auto it = timers_.find(id);
        if (it == timers_.end())
            return;
        QTimer* self = it->second;
        timers_.erase(it);
        self->deleteLater();
        const std::function<void()> call = fn;  // the lambda holding fn goes with the timer
        call();
    });
    timers_.emplace(id, timer);
    timer->start(delay);
    return id;
}

void QtEventLoop::cancelTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void QtEventLoop::watch(int fd, std::function<void()> onReadable) {
    unwatch(fd);
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [fn = std::move(onReadable)] {
        // A copy: the call may unwatch, and so schedule this connection's end.
        const std::function<void()> call = fn;
        call();
    });
    watches_.emplace(fd, notifier);
}

void QtEventLoop::unwatch(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    QSocketNotifier* notifier = it->second;
    watches_.erase(it);
    notifier->setEnabled(false);
    notifier->disconnect(this);
    notifier->deleteLater();  // it may be the one whose signal is running
}

platform::EventLoop::HookId QtEventLoop::addRoundEnd(std::function<void()> fn) {
    return roundEnd_.add(std::move(fn));
}

void QtEventLoop::removeRoundEnd(HookId id) { roundEnd_.remove(id); }

void QtEventLoop::runRoundEnd() { roundEnd_.run(); }

}  // namespace app
