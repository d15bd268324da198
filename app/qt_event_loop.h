#pragma once

// The program's event loop on Qt's: the core and the desktop backend run in the same thread and
// loop as the windows. Posted work becomes a queued call, timers are single-shot QTimers,
// watched descriptors QSocketNotifiers, and the round-end calls run each time Qt's dispatcher
// is about to wait.

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/event_loop.h"
#include "platform/round_end_hooks.h"

class QSocketNotifier;
class QTimer;

namespace app {

class QtEventLoop final : public QObject, public platform::EventLoop {
    Q_OBJECT

public:
    // Lives on the thread that runs Qt's event loop (the user-interface thread).
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    void post(std::function<void()> fn) override;
    TimerId startTimer(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void cancelTimer(TimerId id) override;
    void watch(int fd, std::function<void()> onReadable) override;
    void unwatch(int fd) override;
    HookId addRoundEnd(std::function<void()> fn) override;
    void removeRoundEnd(HookId id) override;

private:
    void runRoundEnd();

    // Guards `accepting_` against posts from other threads while the loop goes away.
    std::mutex postMutex_;
    bool accepting_ = true;

    std::map<TimerId, QTimer*> timers_;
    TimerId nextTimer_ = 1;
    std::map<int, QSocketNotifier*> watches_;
    platform::RoundEndHooks roundEnd_;
};

}  // namespace app
