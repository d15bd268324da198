// The core's event loop on Qt's: posts from other threads run on the loop's thread and never
// inside post(), timers fire in order and can be cancelled (also from inside another timer),
// watched descriptors call back until unwatched, and the round-end calls run while the loop
// idles.

#include <QCoreApplication>
#include <QThread>
#include <QtTest>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/qt_event_loop.h"

using namespace std::chrono_literals;

class QtEventLoopTest : public QObject {
    Q_OBJECT

private slots:
    void postRunsLaterOnTheLoopThread() {
        app::QtEventLoop loop;
        std::vector<int> order;
        Qt::HANDLE ranOn = nullptr;
        loop.post([&] { order.push_back(1); });
        order.push_back(0);  // before the posted call: post() never runs fn itself
        std::thread other([&] { loop.post([&] { ranOn = QThread::currentThreadId(); order.push_back(2); }); });
        other.join();
        QTRY_COMPARE(order, (std::vector<int>{0, 1, 2}));
        QCOMPARE(ranOn, QThread::currentThreadId());
    }

    void postedWorkIsDroppedWithTheLoop() {
        bool ran = false;
        {
            app::QtEventLoop loop;
            loop.post([&] { ran = true; });
        }
        QTest::qWait(20);
        QVERIFY(!ran);
    }

    void timersFireInOrderAndCancelOthers() {
        app::QtEventLoop loop;
        std::vector<int> fired;
        platform::EventLoop::TimerId late = 0;
        loop.startTimer(30ms, [&] { fired.push_back(30); });
        late = loop.startTimer(60ms, [&] { fired.push_back(60); });
        loop.startTimer(10ms, [&] {
            fired.push_back(10);
            loop.cancelTimer(late);
            loop.startTimer(5ms, [&] { fired.push_back(15); });
        });
        const auto cancelled = loop.startTimer(20ms, [&] { fired.push_back(20); });
        loop.cancelTimer(cancelled);
        loop.cancelTimer(987654);  // unknown: nothing happens
        QTest::qWait(120);
        QCOMPARE(fired, (std::vector<int>{10, 15, 30}));
    }

    void watchCallsBackUntilUnwatchedFromInside() {
        app::QtEventLoop loop;
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        int calls = 0;
        loop.watch(fds[0], [&] {
            char byte;
            QVERIFY(::read(fds[0], &byte, 1) == 1);
            if (++calls == 2)
                loop.unwatch(fds[0]);
        });
        for (int i = 0; i < 3; ++i) {
            QVERIFY(::write(fds[1], "x", 1) == 1);
            QTest::qWait(20);
        }
        QCOMPARE(calls, 2);
        loop.unwatch(fds[0]);  // again: nothing happens
        ::close(fds[0]);
        ::close(fds[1]);
    }

    void roundEndRunsWhileIdleAndCanRemoveItself() {
        app::QtEventLoop loop;
        int keep = 0;
        int once = 0;
        loop.addRoundEnd([&] { ++keep; });
        platform::EventLoop::HookId self = 0;
        self = loop.addRoundEnd([&] {
            ++once;
            loop.removeRoundEnd(self);
        });
        // Rounds of a loop that waits between them (QTest::qWait never does).
        auto spin = [] {
            QEventLoop events;
            QTimer::singleShot(30, &events, &QEventLoop::quit);
            events.exec();
        };
        spin();
        loop.post([] {});
        spin();
        QVERIFY(keep >= 2);
        QCOMPARE(once, 1);
    }
};

QTEST_GUILESS_MAIN(QtEventLoopTest)
#include "qt_event_loop_test.moc"
