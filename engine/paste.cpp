// Making the program the user was typing in paste what we put on the clipboard.

#include "engine/paste.h"

#include <array>

#include "engine/clipboard_engine.h"
#include "engine/engine_messages.h"

using namespace platform;

namespace engine {

namespace {

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

// Edit controls paste on WM_PASTE without taking the focus away from anything.
constexpr std::array<std::u16string_view, 7> kEditClasses = {
    u"EDIT",        u"RICHEDIT50W", u"RICHEDITCEA", u"RICHEDITCEW",
    u"RICHEDIT20A", u"RICHEDIT",    u"RICHEDIT20W",
};

constexpr size_t kMaxClassName = 200;

KeyboardInput key(uint32_t vk, bool up) {
    KeyboardInput input;
    input.vk = static_cast<uint16_t>(vk);
    input.flags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

PasteDelivery deliveryForClass(std::u16string_view className) {
    for (std::u16string_view edit : kEditClasses)
        if (equalsIgnoringCase(className, edit)) return PasteDelivery::PasteMessage;
    if (equalsIgnoringCase(className, u"DummyDummyTest")) return PasteDelivery::PasteCommand;
    return PasteDelivery::Keystrokes;
}

std::vector<KeyboardInput> pasteKeystrokes(bool ctrlDown, bool altDown) {
    std::vector<KeyboardInput> keys;
    // Alt held would turn Ctrl+V into a menu key in most programs.
    if (altDown) keys.push_back(key(VK_MENU, true));
    if (!ctrlDown) keys.push_back(key(VK_CONTROL, false));
    keys.push_back(key('V', false));
    keys.push_back(key('V', true));
    if (!ctrlDown) keys.push_back(key(VK_CONTROL, true));
    if (altDown) keys.push_back(key(VK_MENU, false));
    return keys;
}

}  // namespace engine

bool ClipboardEngine::pasteRecord(const cb::RecordPtr& record, const cb::RecordList* list) {
    waitUntilIdle(desktop_.focusHelper().globalFocusWindow());
    if (!writeRecord(record, list)) return false;
    deliverPaste();
    return true;
}

bool ClipboardEngine::deliverPaste() {
    FocusHelper& focus = desktop_.focusHelper();
    WindowHandle target = focus.globalFocusWindow();
    if (!desktop_.isWindow(target)) return false;

    switch (engine::deliveryForClass(desktop_.className(target, engine::kMaxClassName))) {
        case engine::PasteDelivery::PasteMessage:
            desktop_.postMessage(target, WM_PASTE, 0, 0);
            return true;
        case engine::PasteDelivery::PasteCommand:
            desktop_.postMessage(target, WM_COMMAND, engine::kPasteCommand, 0);
            return true;
        case engine::PasteDelivery::Keystrokes:
            break;
    }

    // Keystrokes go to the foreground program: when that is us or the taskbar (the user picked
    // the record there), or nobody, the target has to come to the front first.
    const WindowHandle foreground = desktop_.foregroundWindow();
    bool replace = foreground == kNoWindow;
    if (!replace) {
        const ThreadId thread = desktop_.windowThreadProcessId(foreground).thread;
        const ThreadId taskbarThread = desktop_.windowThreadProcessId(taskbarWindow_).thread;
        replace = thread == desktop_.currentThreadId() || (taskbarThread != 0 && thread == taskbarThread);
    }
    if (replace) {
        target = focus.globalFocusWindow();
        if (!desktop_.isWindow(target) || !desktop_.setForegroundWindow(target)) return true;
        desktop_.sleep(20);
    }

    // Our hook stays out of the way of the keystrokes; injecting them puts it back.
    removeKeyboardHook();
    if (!desktop_.postMessage(mainWindow_, engine::WM_SEND_PASTE_KEYS, 0, 0)) installKeyboardHook();
    return true;
}

void ClipboardEngine::sendPasteKeys() {
    const WindowHandle target = desktop_.focusHelper().globalFocusWindow();
    if (desktop_.isWindow(target)) {
        waitUntilIdle(target);
        // The user still holding V would make the program see a second V press of its own.
        if (!desktop_.isKeyDown('V')) {
            const std::vector<KeyboardInput> keys =
                engine::pasteKeystrokes(desktop_.isKeyDown(VK_CONTROL), desktop_.isKeyDown(VK_MENU));
            desktop_.sendInput(keys);
        }
    }
    installKeyboardHook();
}
