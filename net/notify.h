#pragma once

// How the network's worker threads tell the user-interface thread that something happened. The
// application installs a target that forwards each post to its event loop (the main frame, a send
// dialog); the handler of the message then runs on the user-interface thread.

#include <cstdint>

namespace net {

// Message numbers as the main frame knows them (WM_USER based on the system they come from).
inline constexpr unsigned kMsgVersionChecked = 3036;  // lParam: the VersionChecker's address
inline constexpr unsigned kMsgNetNotify = 3042;       // wParam: what arrived, or a SendStatus

// wParam of kMsgNetNotify posted by the receiving server: a queue has a new entry.
inline constexpr uintptr_t kNotifyRecordArrived = 8;
inline constexpr uintptr_t kNotifyListArrived = 7;
inline constexpr uintptr_t kNotifyHistoryArrived = 6;

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Called on a worker thread, never with a network lock held. It must not block and must not
    // call back into the network objects: queue the message and return. A target that has been
    // detached from its sender or server may still receive a post that was already under way;
    // it stays alive for it because the poster holds a shared reference during the call.
    virtual void post(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace net
