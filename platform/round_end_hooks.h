#pragma once

// The calls an event loop makes each time it has finished a round of work and is about to wait
// (EventLoop::addRoundEnd), kept in the order they were added. A call may add or remove hooks,
// itself included: the ones removed by an earlier call of the same round are not made.

#include <functional>
#include <map>
#include <vector>

#include "platform/event_loop.h"

namespace platform {

class RoundEndHooks {
public:
    using HookId = EventLoop::HookId;

    HookId add(std::function<void()> fn) {
        const HookId id = next_++;
        hooks_.emplace(id, std::move(fn));
        return id;
    }
    void remove(HookId id) { hooks_.erase(id); }

    void run() {
        std::vector<HookId> ids;
        ids.reserve(hooks_.size());
        for (const auto& [id, fn] : hooks_) ids.push_back(id);
        for (HookId id : ids) {
            auto it = hooks_.find(id);
            if (it == hooks_.end()) continue;  // removed by an earlier one
            std::function<void()> fn = it->second;  // a copy: the call may remove its own hook
            fn();
        }
    }

private:
    std::map<HookId, std::function<void()>> hooks_;
    HookId next_ = 1;
};

}  // namespace platform
