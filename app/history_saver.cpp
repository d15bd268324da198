#include "app/history_saver.h"

#include "model/history.h"

namespace app {

HistorySaver::HistorySaver(platform::EventLoop& loop, const cb::History& history, Write write,
                           std::function<void(bool)> onSaved)
    : loop_(loop), history_(history), write_(std::move(write)), onSaved_(std::move(onSaved)) {}

HistorySaver::~HistorySaver() {
    alive_.reset();
    worker_.waitIdle();
}

void HistorySaver::save() {
    if (running_) {
        again_ = true;
        return;
    }
    begin();
}

void HistorySaver::begin() {
    running_ = true;
    const uint64_t generation = ++generation_;
    std::shared_ptr<const cb::History> snapshot = history_.snapshot();
    worker_.run([this, snapshot = std::move(snapshot), generation, alive = std::weak_ptr<bool>(alive_)]() mutable {
        const bool written = write_(*snapshot);
        snapshot.reset();  // the lists go here, off the loop
        loop_.post([this, alive, generation, written] {
            if (alive.lock()) finished(generation, written);
        });
    });
}

void HistorySaver::finished(uint64_t generation, bool written) {
    if (generation != generation_) return;  // saveAndWait() has taken over
    running_ = false;
    if (onSaved_) onSaved_(written);
    if (again_) {
        again_ = false;
        begin();
    }
}

bool HistorySaver::saveAndWait() {
    worker_.waitIdle();
    ++generation_;
    running_ = false;
    again_ = false;
    return write_(history_);
}

}  // namespace app
