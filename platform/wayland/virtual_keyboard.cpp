#include "platform/wayland/virtual_keyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <memory>

#include "platform/wayland/wayland_connection.h"
#include "wayland/virtual-keyboard-unstable-v1-client-protocol.h"

namespace platform::wayland {

namespace {

// Linux input key codes (linux/input-event-codes.h); an XKB key code is the same plus 8.
constexpr uint32_t kKeyLeftCtrl = 29;
constexpr uint32_t kKeyLeftShift = 42;
constexpr uint32_t kKeyV = 47;
constexpr uint32_t kKeyLeftAlt = 56;
constexpr uint32_t kKeyInsert = 110;

constexpr uint32_t kShiftMask = 1u << 0;
constexpr uint32_t kControlMask = 1u << 2;
constexpr uint32_t kMod1Mask = 1u << 3;

// wl_keyboard's keymap format and key states.
constexpr uint32_t kKeymapXkbV1 = 1;
constexpr uint32_t kKeyReleased = 0;
constexpr uint32_t kKeyPressed = 1;

uint32_t milliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

std::optional<uint32_t> evdevKey(uint32_t vk) {
    switch (vk) {
        case VK_CONTROL:
        case VK_LCONTROL: return kKeyLeftCtrl;
        case VK_SHIFT:
        case VK_LSHIFT: return kKeyLeftShift;
        case VK_MENU:
        case VK_LMENU: return kKeyLeftAlt;
        case VK_INSERT: return kKeyInsert;
        case 'V': return kKeyV;
        default: return std::nullopt;
    }
}

uint32_t modifierMask(uint32_t key) {
    switch (key) {
        case kKeyLeftShift: return kShiftMask;
        case kKeyLeftCtrl: return kControlMask;
        case kKeyLeftAlt: return kMod1Mask;
        default: return 0;
    }
}

std::string pasteKeymap() {
    // Types and compatibility come from the compositor's XKB data; the keys are only ours.
    return "xkb_keymap {\n"
           "  xkb_keycodes \"quillet\" {\n"
           "    minimum = 8;\n"
           "    maximum = 255;\n"
           "    <LCTL> = 37;\n"
           "    <LFSH> = 50;\n"
           "    <AB04> = 55;\n"
           "    <LALT> = 64;\n"
           "    <INS> = 118;\n"
           "  };\n"
           "  xkb_types \"quillet\" { include \"complete\" };\n"
           "  xkb_compat \"quillet\" { include \"complete\" };\n"
           "  xkb_symbols \"quillet\" {\n"
           "    key <LCTL> { [ Control_L ] };\n"
           "    key <LFSH> { [ Shift_L ] };\n"
           "    key <AB04> { [ v, V ] };\n"
           "    key <LALT> { [ Alt_L ] };\n"
           "    key <INS> { [ Insert ] };\n"
           "    modifier_map Control { <LCTL> };\n"
           "    modifier_map Shift { <LFSH> };\n"
           "    modifier_map Mod1 { <LALT> };\n"
           "  };\n"
           "};\n";
}

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::create(WaylandConnection& connection) {
    if (connection.virtualKeyboardManager() == nullptr || connection.seat() == nullptr) return nullptr;
    // The compositor maps the keymap from a descriptor: a sealed file in memory, with the
    // terminating NUL that the XKB parser expects inside the size.
    const std::string keymap = pasteKeymap();
    const int fd = memfd_create("quillet-keymap", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    const size_t size = keymap.size() + 1;
    if (write(fd, keymap.c_str(), size) != static_cast<ssize_t>(size)) {
        close(fd);
        return nullptr;
    }
    zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(connection.virtualKeyboardManager(), connection.seat());
    zwp_virtual_keyboard_v1_keymap(keyboard, kKeymapXkbV1, fd, static_cast<uint32_t>(size));
    close(fd);  // the request carries a copy
    connection.flush();
    return std::unique_ptr<VirtualKeyboard>(new VirtualKeyboard(connection, keyboard));
}

VirtualKeyboard::VirtualKeyboard(WaylandConnection& connection, zwp_virtual_keyboard_v1* keyboard)
    : connection_(connection), keyboard_(keyboard) {}

VirtualKeyboard::~VirtualKeyboard() {
    zwp_virtual_keyboard_v1_destroy(keyboard_);
    connection_.flush();
}

bool VirtualKeyboard::type(std::span<const KeyboardInput> keys) {
    for (const KeyboardInput& k : keys)
        if (!evdevKey(k.vk)) return false;
    for (const KeyboardInput& k : keys) {
        const uint32_t key = *evdevKey(k.vk);
        const bool release = (k.flags & KEYEVENTF_KEYUP) != 0;
        zwp_virtual_keyboard_v1_key(keyboard_, milliseconds(), key, release ? kKeyReleased : kKeyPressed);
        // The compositor takes a virtual keyboard's modifier state from what it is told, not
        // from its keys.
        if (const uint32_t mask = modifierMask(key)) {
            modifiers_ = release ? (modifiers_ & ~mask) : (modifiers_ | mask);
            zwp_virtual_keyboard_v1_modifiers(keyboard_, modifiers_, 0, 0, 0);
        }
    }
    connection_.flush();
    return true;
}

}  // namespace platform::wayland
