#pragma once

// Asks the accessibility bus (AT-SPI) where the text caret of a program is: the focused text
// object of the application with that process id, its caret offset, and that character's box
// on the screen. The bus is another program that may be slow or absent, so every question is
// answered on a thread of the query's own; the caller bounds how long it waits for the answer
// (and goes on without one).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/popup_placement.h"

namespace platform::atspi {

class CaretQuery {
public:
    using Answer = std::function<void(std::optional<CaretReport>)>;

    CaretQuery();
    // Waits for the question under way (each call to the bus is bounded), then ends the thread.
    ~CaretQuery();
    CaretQuery(const CaretQuery&) = delete;
    CaretQuery& operator=(const CaretQuery&) = delete;

    // Calls `answer` on the query's thread: the caret of the process's focused text, or nothing
    // when the bus is not up, the process has no accessible application, nothing of it has the
    // focus, or the focused object has no text. A question not yet started is replaced by a
    // newer one (its answer is never called): only the latest popup wants to know.
    void ask(ProcessId process, Answer answer);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<std::pair<ProcessId, Answer>> pending_;
    std::thread thread_;
};

}  // namespace platform::atspi
