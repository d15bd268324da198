#pragma once

// The focus helper on X11: remembers the last window of another program the user worked in, so
// that a paste reaches it after the user turned to one of our windows.
//
// With an EWMH window manager it follows _NET_ACTIVE_WINDOW on the root (PropertyNotify);
// without one (or when the manager does not keep that property) it reads the input focus on a
// short timer. Each answer is also checked against the server when asked for, so a change whose
// event has not been read yet is not missed.
//
// A window never counts as the answer when it is ours (made by our connection, an in-process
// window with a virtual handle, or any window whose _NET_WM_PID or X client is this process),
// when it is the taskbar we were given, or when it is a desktop or dock window.

#include <chrono>
#include <cstdint>

#include "platform/focus_helper.h"
#include "platform/x11/connection.h"

namespace platform::x11 {

class FocusTracker final : public platform::FocusHelper {
public:
    // How often the input focus is read when no window manager tells us of changes.
    static constexpr std::chrono::milliseconds kFocusPollPeriod{250};

    explicit FocusTracker(Connection& connection);
    ~FocusTracker() override;
    FocusTracker(const FocusTracker&) = delete;
    FocusTracker& operator=(const FocusTracker&) = delete;

    // `focus` (any window of its program; its top-level window is what counts) is the first
    // answer, unless it does not count; then the active window is, if that counts. Returns 1.
    int32_t initialize(WindowHandle taskbar, WindowHandle focus) override;
    int32_t uninitialize() override;
    void updateTrayWindow(WindowHandle taskbar) override;
    WindowHandle globalFocusWindow() const override;

    // Whether a window can be the answer (see above).
    bool counts(XId window) const;

private:
    void onEvent(const _XEvent& event);
    // Takes the active window as the answer when it counts, and starts or stops the focus poll.
    // Const because asking for the answer looks too; what it changes is the tracking state.
    void update() const;
    void watchManager(XId check) const;
    void schedulePoll() const;
    void cancelPoll() const;

    Connection& connection_;
    bool tracking_ = false;
    XId taskbar_ = 0;  // its top-level window
    XId root_ = 0;
    XAtom activeAtom_ = 0, checkAtom_ = 0;
    long addedRootMask_ = 0;
    Connection::HandlerId handler_ = 0;
    mutable XId answer_ = 0;
    mutable XId lastSeen_ = 0;  // the active window when we last looked, counted or not
    mutable XId watchedCheck_ = 0;  // the manager's check window, whose destruction we follow
    mutable EventLoop::TimerId pollTimer_ = 0;
};

}  // namespace platform::x11
