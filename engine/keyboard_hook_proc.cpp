// The keyboard hook as the engine installs it.

#include "engine/clipboard_engine.h"
#include "engine/hook_keys.h"
#include "engine/keyboard_hook.h"
#include "persist/config/app_config.h"

using namespace platform;

void ClipboardEngine::installKeyboardHook() {
    if (hook_ != HookHandle{}) return;
    updateHookKeys();
    hook_ = desktop_.setKeyboardHook([this](int code, uint32_t message, const KeyboardEvent& event) {
        return keyboardHookProc(code, message, event);
    });
}

void ClipboardEngine::setKeyboardDispatch(engine::KeyboardDispatch* dispatch) {
    dispatch_ = dispatch;
    if (keyboardHookInstalled()) updateHookKeys();
}

void ClipboardEngine::updateHookKeys() {
    const std::vector<KeyChord> keys =
        dispatch_ ? engine::hookKeys(config_.options(), pickingWindowShown_) : std::vector<KeyChord>{};
    desktop_.setHookKeys(keys);
}

void ClipboardEngine::setPickingWindowShown(bool shown) {
    if (shown == pickingWindowShown_) return;
    pickingWindowShown_ = shown;
    updateHookKeys();
}

void ClipboardEngine::removeKeyboardHook() {
    if (hook_ == HookHandle{}) return;
    desktop_.unhook(hook_);
    hook_ = HookHandle{};
}

intptr_t ClipboardEngine::keyboardHookProc(int code, uint32_t message, const KeyboardEvent& event) {
    // Kept before anything the dispatch does can remove the hook.
    const HookHandle self = hook_;
    if (!engine::reachesDispatch(code, event.flags))
        return desktop_.callNextKeyboardHook(self, code, message, event);

    const cmn::option<int>& options = config_.options();
    engine::KeyEvent key;
    key.message = message;
    key.vk = event.vkCode;
    key.modifiers = engine::readModifiers([this](uint32_t vk) { return desktop_.isKeyDown(vk); });
    key.matches = engine::matchShortcuts(key.modifiers, options);

    if (engine::armsChainCheck(message, event.vkCode, key.modifiers, options)) startChainCheck();

    if (engine::isKeyMessage(message) && dispatch_ && dispatch_->dispatchKey(key)) return 1;
    return desktop_.callNextKeyboardHook(self, code, message, event);
}
