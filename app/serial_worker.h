#pragma once

// A thread of its own that runs tasks one after the other, in the order they were given: the
// work the event loop must not wait for (writing the history, starting and stopping the
// receiver), kept in order.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace app {

class SerialWorker {
public:
    SerialWorker();
    // Runs what was given, then ends the thread.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Safe from any thread but the worker's own.
    void run(std::function<void()> task);
    // Returns once every task given so far has run.
    void waitIdle();

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace app
