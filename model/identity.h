#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace cb {

// Records and lists are named in the tag item by 32-bit identities. Addresses do not fit in
// 32 bits here, so every live record and list gets a number unique within the process, and a
// tag can be resolved back to the live object (drag and drop needs it). Objects are created on
// the receiver's thread too, hence the lock.
using Identity = uint32_t;

template <class T>
class LiveIdentity {
public:
    explicit LiveIdentity(T* object) : value_(registry().add(object)) {}
    ~LiveIdentity() { registry().remove(value_); }
    LiveIdentity(const LiveIdentity&) = delete;
    LiveIdentity& operator=(const LiveIdentity&) = delete;

    Identity value() const { return value_; }

    // The live object with that identity, or null. Valid only on the thread that owns the
    // object's lifetime (the user-interface thread).
    static T* resolve(Identity identity) { return registry().find(identity); }

private:
    class Registry {
    public:
        Identity add(T* object) {
            std::lock_guard lock(mutex_);
            Identity id;
            do {
                id = ++next_;
            } while (id == 0 || live_.count(id));
            live_.emplace(id, object);
            return id;
        }
        void remove(Identity id) {
            std::lock_guard lock(mutex_);
            live_.erase(id);
        }
        T* find(Identity id) {
            std::lock_guard lock(mutex_);
            auto it = live_.find(id);
            return it == live_.end() ? nullptr : it->second;
        }

    private:
        std::mutex mutex_;
        Identity next_ = 0;
        std::unordered_map<Identity, T*> live_;
    };
    static Registry& registry() {
        static Registry instance;
        return instance;
    }

    Identity value_;
};

}  // namespace cb
