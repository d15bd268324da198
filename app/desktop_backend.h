#pragma once

// The desktop the resident program runs on, as the core needs it: the engine's platform
// interface and the few things the engine's interface does not carry. A backend lives on the
// program's event loop. makeDesktopBackend() is the one place that picks and builds a backend.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/key_chord.h"

namespace app {

class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;

    virtual platform::Desktop& desktop() = 0;

    // Counts the contents read from other programs; the number of the one offered now.
    virtual uint64_t snapshotSerial() const = 0;
    // The program that held the clipboard went away with its content; `serial` names that
    // content (snapshotSerial() when it was read).
    virtual void setOnOwnerGone(std::function<void(uint64_t serial)> onOwnerGone) = 0;
    // The connection to the desktop broke: the program saves and ends. Called from the loop.
    virtual void setOnLost(std::function<void()> onLost) = 0;
    virtual bool lost() const = 0;
    // A shortcut the program could not have because another program holds it; told once for
    // each. Backends without global shortcuts never call it.
    virtual void setOnShortcutRefused(std::function<void(const platform::KeyChord&)> onRefused) {
        (void)onRefused;
    }
};

struct DesktopSettings {
    std::string display;  // empty: the environment's
    // At exit, content of ours that nobody took over stays served by a process of its own.
    bool serveAfterExit = true;
    // "x11" or "wayland" to force one backend; empty: whichever fits the session.
    std::string backend;
    // Hears the backend chosen and why, and what else the user should know about it (once:
    // that pastes are not typed on this compositor). May be empty.
    std::function<void(const std::string& line)> report;
};

// The desktop backend this build and environment provide, on `loop`. Null, with the reason in
// `error`, when it cannot be used (no display, no such backend in this build).
std::unique_ptr<DesktopBackend> makeDesktopBackend(platform::EventLoop& loop, const DesktopSettings& settings,
                                                   std::string& error);

// The process that keeps our clipboard content served after the program has ended, which a
// backend starts as our executable with an internal command word (platform/exit_server.h)
// followed by the backend's name and the display's: its exit status. Nullopt when `words` (the
// command line without the program's name) are not that command.
std::optional<int> runExitClipboardServer(const std::vector<std::string>& words);

}  // namespace app
