#include "app/serial_worker.h"

namespace app {

SerialWorker::SerialWorker() : thread_([this] { loop(); }) {}

SerialWorker::~SerialWorker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SerialWorker::run(std::function<void()> task) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_all();
}

void SerialWorker::waitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

void SerialWorker::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
        if (tasks_.empty()) return;  // ending, with nothing left to do
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        busy_ = true;
        lock.unlock();
        task();
        task = nullptr;  // what it holds goes here, off the caller's thread
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace app
