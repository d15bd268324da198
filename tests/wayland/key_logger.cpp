// A window of another Wayland client for the paste tests: it shows a small surface, logs the
// keys it gets ("enter", "key <code> <pressed> <modifiers>") to stdout, and on Ctrl+V pastes
// the clipboard's text the way a Wayland program does, logging "pasted <text>". Each line is
// flushed at once, so a test can follow it.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "xdg-shell-client-protocol.h"

namespace {

constexpr uint32_t kKeyV = 47;
constexpr uint32_t kControlMask = 4;
constexpr int kSize = 64;

struct State {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wl_seat* seat = nullptr;
    wl_data_device_manager* dataManager = nullptr;
    wl_data_device* dataDevice = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    wl_data_offer* selection = nullptr;
    wl_display* display = nullptr;
    uint32_t modifiers = 0;
};

void logLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

wl_buffer* makeBuffer(State& s) {
    const int stride = kSize * 4;
    const int size = stride * kSize;
    const int fd = memfd_create("key-logger", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels != MAP_FAILED) {
        std::memset(pixels, 0x80, static_cast<size_t>(size));
        munmap(pixels, static_cast<size_t>(size));
    }
    wl_shm_pool* pool = wl_shm_create_pool(s.shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, kSize, kSize, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

void paste(State& s) {
    if (s.selection == nullptr) return logLine("pasted-nothing");
    int ends[2];
    if (pipe(ends) != 0) return;
    wl_data_offer_receive(s.selection, "text/plain;charset=utf-8", ends[1]);
    close(ends[1]);
    wl_display_flush(s.display);
    std::string text;
    char chunk[4096];
    ssize_t n;
    while ((n = read(ends[0], chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
    close(ends[0]);
    logLine("pasted " + text);
}

const wl_keyboard_listener kKeyboardListener = {
    [](void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) { logLine("enter"); },
    [](void*, wl_keyboard*, uint32_t, wl_surface*) { logLine("leave"); },
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        auto& s = *static_cast<State*>(data);
        logLine("key " + std::to_string(key) + " " + std::to_string(state) + " " + std::to_string(s.modifiers));
        if (key == kKeyV && state == WL_KEYBOARD_KEY_STATE_PRESSED && (s.modifiers & kControlMask) != 0) paste(s);
    },
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t, uint32_t, uint32_t) {
        static_cast<State*>(data)->modifiers = depressed;
    },
    [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_seat_listener kSeatListener = {
    [](void* data, wl_seat* seat, uint32_t capabilities) {
        // A headless compositor has no keyboard until a virtual one is made.
        auto& s = *static_cast<State*>(data);
        if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && s.keyboard == nullptr) {
            s.keyboard = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(s.keyboard, &kKeyboardListener, &s);
        }
    },
    [](void*, wl_seat*, const char*) {},
};

const wl_data_offer_listener kOfferListener = {
    [](void*, wl_data_offer*, const char*) {},
    [](void*, wl_data_offer*, uint32_t) {},
    [](void*, wl_data_offer*, uint32_t) {},
};

const wl_data_device_listener kDataDeviceListener = {
    [](void*, wl_data_device*, wl_data_offer* offer) { wl_data_offer_add_listener(offer, &kOfferListener, nullptr); },
    [](void*, wl_data_device*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t, wl_data_offer*) {},
    [](void*, wl_data_device*) {},
    [](void*, wl_data_device*, uint32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_data_device*) {},
    [](void* data, wl_data_device*, wl_data_offer* offer) {
        auto& s = *static_cast<State*>(data);
        if (s.selection != nullptr) wl_data_offer_destroy(s.selection);
        s.selection = offer;
    },
};

const xdg_wm_base_listener kWmBaseListener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener kXdgSurfaceListener = {
    [](void* data, xdg_surface* surface, uint32_t serial) {
        auto& s = *static_cast<State*>(data);
        xdg_surface_ack_configure(surface, serial);
        if (s.buffer == nullptr) s.buffer = makeBuffer(s);
        wl_surface_attach(s.surface, s.buffer, 0, 0);
        wl_surface_damage(s.surface, 0, 0, kSize, kSize);
        wl_surface_commit(s.surface);
    },
};

const xdg_toplevel_listener kToplevelListener = {
    [](void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {},
    [](void*, xdg_toplevel*) {},
    [](void*, xdg_toplevel*, int32_t, int32_t) {},
    [](void*, xdg_toplevel*, wl_array*) {},
};

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        auto& s = *static_cast<State*>(data);
        const std::string which(interface);
        if (which == wl_compositor_interface.name)
            s.compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
        else if (which == wl_shm_interface.name)
            s.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        else if (which == xdg_wm_base_interface.name)
            s.wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        else if (which == wl_seat_interface.name && s.seat == nullptr)
            s.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (which == wl_data_device_manager_interface.name)
            s.dataManager = static_cast<wl_data_device_manager*>(
                wl_registry_bind(registry, name, &wl_data_device_manager_interface, 3));
    },
    [](void*, wl_registry*, uint32_t) {},
};

}  // namespace

int main() {
    State s;
    s.display = wl_display_connect(nullptr);
    if (s.display == nullptr) return 1;
    wl_registry* registry = wl_display_get_registry(s.display);
    wl_registry_add_listener(registry, &kRegistryListener, &s);
    wl_display_roundtrip(s.display);
    if (!s.compositor || !s.shm || !s.wmBase || !s.seat || !s.dataManager) return 2;
    xdg_wm_base_add_listener(s.wmBase, &kWmBaseListener, &s);
    wl_seat_add_listener(s.seat, &kSeatListener, &s);
    s.dataDevice = wl_data_device_manager_get_data_device(s.dataManager, s.seat);
    wl_data_device_add_listener(s.dataDevice, &kDataDeviceListener, &s);
    s.surface = wl_compositor_create_surface(s.compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(s.wmBase, s.surface);
    xdg_surface_add_listener(xdgSurface, &kXdgSurfaceListener, &s);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevelListener, &s);
    xdg_toplevel_set_title(toplevel, "key logger");
    wl_surface_commit(s.surface);
    logLine("started");
    while (wl_display_dispatch(s.display) != -1) {
    }
    return 0;
}
