#pragma once

// The connection to the Wayland compositor: the display, the globals the backend uses (the
// first seat, a data-control manager, the virtual-keyboard manager), and one descriptor that
// stands for the compositor's socket and every pipe of the backend, which the connection has
// the program's event loop watch. Everything runs on the loop's thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/wayland/descriptor_poller.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_data_control_manager_v1;
struct zwlr_data_control_manager_v1;
struct zwp_virtual_keyboard_manager_v1;

namespace platform::wayland {

// The data-control protocol a compositor offers; the newer one is taken when it offers both.
enum class DataControlProtocol { None, Ext, Wlr };

// What a compositor offers, asked by a short connection of its own (for choosing the backend).
struct CompositorOffer {
    bool connected = false;
    DataControlProtocol dataControl = DataControlProtocol::None;
    bool virtualKeyboard = false;
    std::string error;  // why it could not connect
};
// `display` null or empty: $WAYLAND_DISPLAY.
CompositorOffer probeCompositor(const char* display);

// The protocol's name as the compositor lists it, for messages.
const char* protocolName(DataControlProtocol protocol);

class WaylandConnection {
public:
    // Connects and learns the globals. Null, with the reason, when no compositor answers.
    static std::unique_ptr<WaylandConnection> open(EventLoop& loop, const char* display, std::string* error = nullptr);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    EventLoop& loop() const { return loop_; }
    // The display it was opened on; empty: $WAYLAND_DISPLAY.
    const std::string& displayName() const { return displayName_; }
    DescriptorPoller& poller() { return poller_; }
    wl_display* display() const { return display_; }

    // Reads and handles what the compositor sent and what the pipes are ready for (the loop
    // calls it when they are ready).
    void processPendingEvents();
    // Sends the requests made so far.
    void flush();
    // Blocks until the compositor has handled every request made so far and its answers have
    // been handled; false when the connection is lost. For start-up and tests.
    bool roundtrip();

    // The compositor went away (or ended the connection for a protocol error).
    bool lost() const { return lost_; }
    // Called once, from the loop, when the connection is lost.
    void setOnLost(std::function<void()> onLost) { onLost_ = std::move(onLost); }

    wl_seat* seat() const { return seat_; }
    DataControlProtocol dataControl() const;
    // The bound manager of the data-control protocol taken; null when none is offered.
    void* dataControlManager() const;
    // The bound virtual-keyboard manager; null when none is offered.
    zwp_virtual_keyboard_manager_v1* virtualKeyboardManager() const { return keyboardManager_; }

private:
    explicit WaylandConnection(EventLoop& loop);
    static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    void markLost();

    EventLoop& loop_;
    std::string displayName_;
    DescriptorPoller poller_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_data_control_manager_v1* extManager_ = nullptr;
    zwlr_data_control_manager_v1* wlrManager_ = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager_ = nullptr;
    EventLoop::HookId roundEnd_ = 0;
    bool watched_ = false;
    bool lost_ = false;
    std::function<void()> onLost_;
};

}  // namespace platform::wayland
