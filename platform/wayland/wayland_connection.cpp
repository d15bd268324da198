#include "platform/wayland/wayland_connection.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "wayland/ext-data-control-v1-client-protocol.h"
#include "wayland/virtual-keyboard-unstable-v1-client-protocol.h"
#include "wayland/wlr-data-control-unstable-v1-client-protocol.h"

namespace platform::wayland {

const char* protocolName(DataControlProtocol protocol) {
    switch (protocol) {
        case DataControlProtocol::Ext: return "ext_data_control_manager_v1";
        case DataControlProtocol::Wlr: return "zwlr_data_control_manager_v1";
        case DataControlProtocol::None: break;
    }
    return "none";
}

WaylandConnection::WaylandConnection(EventLoop& loop) : loop_(loop) {}

std::unique_ptr<WaylandConnection> WaylandConnection::open(EventLoop& loop, const char* display, std::string* error) {
    std::unique_ptr<WaylandConnection> c(new WaylandConnection(loop));
    if (display != nullptr) c->displayName_ = display;
    c->display_ = wl_display_connect(display != nullptr && *display != '\0' ? display : nullptr);
    if (c->display_ == nullptr) {
        if (error) *error = std::string("no Wayland compositor answers (") + std::strerror(errno) + ")";
        return nullptr;
    }
    if (c->poller_.fd() < 0) {
        if (error) *error = "no descriptor set can be made";
        return nullptr;
    }
    static const wl_registry_listener listener = {&WaylandConnection::onGlobal, &WaylandConnection::onGlobalRemove};
    c->registry_ = wl_display_get_registry(c->display_);
    wl_registry_add_listener(c->registry_, &listener, c.get());
    // The globals, then what binding them sent.
    if (!c->roundtrip() || !c->roundtrip()) {
        if (error) *error = "the compositor ended the connection";
        return nullptr;
    }
    WaylandConnection* self = c.get();
    c->poller_.watch(wl_display_get_fd(c->display_), DescriptorPoller::Wait::Readable, [self] {
        if (self->lost_) return;
        if (wl_display_dispatch(self->display_) < 0) self->markLost();
    });
    loop.watch(c->poller_.fd(), [self] { self->processPendingEvents(); });
    c->watched_ = true;
    // Requests made during a round of work (by the engine, say) leave before the loop waits.
    c->roundEnd_ = loop.addRoundEnd([self] { self->flush(); });
    return c;
}

WaylandConnection::~WaylandConnection() {
    if (watched_) loop_.unwatch(poller_.fd());
    if (roundEnd_ != 0) loop_.removeRoundEnd(roundEnd_);
    if (display_ == nullptr) return;
    poller_.unwatch(wl_display_get_fd(display_));
    if (keyboardManager_) zwp_virtual_keyboard_manager_v1_destroy(keyboardManager_);
    if (extManager_) ext_data_control_manager_v1_destroy(extManager_);
    if (wlrManager_) zwlr_data_control_manager_v1_destroy(wlrManager_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

void WaylandConnection::onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                                 uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const std::string_view which(interface);
    if (which == wl_seat_interface.name && self->seat_ == nullptr) {
        self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (which == ext_data_control_manager_v1_interface.name && self->extManager_ == nullptr) {
        self->extManager_ = static_cast<ext_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &ext_data_control_manager_v1_interface, 1));
    } else if (which == zwlr_data_control_manager_v1_interface.name && self->wlrManager_ == nullptr) {
        // Version 1 is all the backend needs: the clipboard, not the primary selection.
        self->wlrManager_ = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, std::min<uint32_t>(version, 1)));
    } else if (which == zwp_virtual_keyboard_manager_v1_interface.name && self->keyboardManager_ == nullptr) {
        self->keyboardManager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}

void WaylandConnection::onGlobalRemove(void*, wl_registry*, uint32_t) {
    // A seat or manager that goes away makes its objects inert; the compositor tells them so.
}

DataControlProtocol WaylandConnection::dataControl() const {
    if (extManager_ != nullptr) return DataControlProtocol::Ext;
    if (wlrManager_ != nullptr) return DataControlProtocol::Wlr;
    return DataControlProtocol::None;
}

void* WaylandConnection::dataControlManager() const {
    if (extManager_ != nullptr) return extManager_;
    return wlrManager_;
}

void WaylandConnection::processPendingEvents() {
    poller_.dispatch();
    // Events read while waiting for something else (a round trip) are handled here too.
    if (!lost_ && wl_display_dispatch_pending(display_) < 0) markLost();
    flush();
}

void WaylandConnection::flush() {
    if (lost_) return;
    // A full socket (EAGAIN) keeps the rest for the next flush.
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) markLost();
}

bool WaylandConnection::roundtrip() {
    if (lost_) return false;
    if (wl_display_roundtrip(display_) < 0) {
        markLost();
        return false;
    }
    return true;
}

void WaylandConnection::markLost() {
    if (lost_) return;
    lost_ = true;
    if (display_ != nullptr) poller_.unwatch(wl_display_get_fd(display_));
    if (onLost_) loop_.post([this] {
        if (onLost_) onLost_();
    });
}

CompositorOffer probeCompositor(const char* display) {
    CompositorOffer offer;
    wl_display* d = wl_display_connect(display != nullptr && *display != '\0' ? display : nullptr);
    if (d == nullptr) {
        offer.error = std::string("no Wayland compositor answers (") + std::strerror(errno) + ")";
        return offer;
    }
    offer.connected = true;
    struct Seen {
        bool ext = false, wlr = false, keyboard = false;
    } seen;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            auto* s = static_cast<Seen*>(data);
            const std::string_view which(interface);
            if (which == ext_data_control_manager_v1_interface.name) s->ext = true;
            if (which == zwlr_data_control_manager_v1_interface.name) s->wlr = true;
            if (which == zwp_virtual_keyboard_manager_v1_interface.name) s->keyboard = true;
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(d);
    wl_registry_add_listener(registry, &listener, &seen);
    wl_display_roundtrip(d);
    wl_registry_destroy(registry);
    wl_display_disconnect(d);
    offer.dataControl = seen.ext   ? DataControlProtocol::Ext
                        : seen.wlr ? DataControlProtocol::Wlr
                                   : DataControlProtocol::None;
    offer.virtualKeyboard = seen.keyboard;
    return offer;
}

}  // namespace platform::wayland
