#pragma once

#include <cstdint>

#include "platform/desktop_types.h"

namespace engine {

// The main window's private messages and timer that the engine handles.
inline constexpr uint32_t WM_SEND_PASTE_KEYS = platform::WM_USER + 2004;    // 3028
inline constexpr uint32_t WM_CAPTURE_CLIPBOARD = platform::WM_USER + 2014;  // 3038
inline constexpr uintptr_t kChainCheckTimer = 4;
inline constexpr uint32_t kChainCheckPeriodMs = 1000;

// The program's own Paste command, which our test window class receives instead of WM_PASTE.
inline constexpr uintptr_t kPasteCommand = 57637;

}  // namespace engine
