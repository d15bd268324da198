#include "app/backend_choice.h"

namespace app {

namespace {

constexpr const char* kNoDataControl =
    "the compositor offers no data-control protocol (ext_data_control_manager_v1 or "
    "zwlr_data_control_manager_v1)";

}  // namespace

bool isBackendName(const std::string& name) { return name == "x11" || name == "wayland"; }

BackendChoice chooseBackend(const BackendFacts& facts) {
    if (facts.requested == "x11") {
        if (!facts.x11Built) return {std::nullopt, "this build has no X11 backend"};
        return {BackendKind::X11, "asked for with --backend x11"};
    }
    if (facts.requested == "wayland") {
        if (!facts.waylandBuilt) return {std::nullopt, "this build has no Wayland backend"};
        if (!facts.waylandSession) return {std::nullopt, "WAYLAND_DISPLAY is not set"};
        const CompositorAnswer answer = facts.askCompositor ? facts.askCompositor() : CompositorAnswer{};
        if (!answer.connected) return {std::nullopt, "no Wayland compositor answers: " + answer.error};
        if (answer.dataControl.empty()) return {std::nullopt, kNoDataControl};
        return {BackendKind::Wayland, "asked for with --backend wayland; the compositor offers " + answer.dataControl};
    }
    if (!facts.requested.empty()) return {std::nullopt, "there is no backend \"" + facts.requested + "\""};

    std::string why = "WAYLAND_DISPLAY is not set";
    if (facts.waylandSession && facts.waylandBuilt) {
        const CompositorAnswer answer = facts.askCompositor ? facts.askCompositor() : CompositorAnswer{};
        if (answer.connected && !answer.dataControl.empty())
            return {BackendKind::Wayland, "a Wayland session whose compositor offers " + answer.dataControl};
        why = answer.connected ? std::string("a Wayland session, but ") + kNoDataControl
                               : "a Wayland session, but no Wayland compositor answers: " + answer.error;
        why += "; only programs that run through XWayland are seen";
    } else if (facts.waylandSession) {
        why = "a Wayland session, but this build has no Wayland backend; only programs that run through XWayland "
              "are seen";
    }
    if (!facts.x11Built) return {std::nullopt, why + ", and this build has no X11 backend"};
    return {BackendKind::X11, why};
}

}  // namespace app
