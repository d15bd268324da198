#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace platform::detail {

// Objects named by opaque numbers, as the desktop names its graphics objects. Numbers are never
// reused while the process lives, so a stale or made-up handle is simply unknown. Callable from
// any thread.
template <class Object>
class HandleTable {
public:
    uintptr_t add(Object object) {
        std::lock_guard lock(mutex_);
        next_ += 4;
        objects_.emplace(next_, std::move(object));
        return next_;
    }
    std::optional<Object> copy(uintptr_t id) const {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(id);
        if (it == objects_.end()) return std::nullopt;
        return it->second;
    }
    // Calls f with the object under the lock; false for an unknown id.
    template <class F>
    bool with(uintptr_t id, F&& f) const {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(id);
        if (it == objects_.end()) return false;
        f(it->second);
        return true;
    }
    bool remove(uintptr_t id) {
        std::lock_guard lock(mutex_);
        return objects_.erase(id) != 0;
    }
    size_t count() const {
        std::lock_guard lock(mutex_);
        return objects_.size();
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<uintptr_t, Object> objects_;
    uintptr_t next_ = 0x20000;
};

}  // namespace platform::detail
