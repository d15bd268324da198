#pragma once

// Which desktop backend the resident program runs on, and why: the choice is printed at start,
// so that a user whose copies are not seen knows what the program is listening to. Pure: the
// facts about the session are gathered by the caller (the compositor is asked only when the
// answer depends on it).

#include <functional>
#include <optional>
#include <string>

namespace app {

enum class BackendKind { X11, Wayland };

// What a Wayland compositor told a short connection of ours.
struct CompositorAnswer {
    bool connected = false;
    std::string dataControl;  // the data-control manager it offers; empty: none
    std::string error;        // why it could not be reached
};

struct BackendFacts {
    std::string requested;  // "x11", "wayland", or empty: whichever fits the session
    bool x11Built = false;
    bool waylandBuilt = false;
    bool waylandSession = false;  // WAYLAND_DISPLAY is set
    std::function<CompositorAnswer()> askCompositor;
};

struct BackendChoice {
    std::optional<BackendKind> kind;  // nothing: no backend can run (reason says why)
    std::string reason;
};

// The backend names a user may ask for; false for any other.
bool isBackendName(const std::string& name);

BackendChoice chooseBackend(const BackendFacts& facts);

}  // namespace app
