// The one place that picks the desktop backend: the one asked for, else Wayland where the
// session is a Wayland one whose compositor offers data control, else X11.

#include "app/desktop_backend.h"

#include <unistd.h>

#include <cstdlib>

#include "app/backend_choice.h"
#include "app/wayland_desktop_backend.h"
#include "app/x11_desktop_backend.h"
#include "platform/exit_server.h"

namespace app {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::unique_ptr<DesktopBackend> makeDesktopBackend(platform::EventLoop& loop, const DesktopSettings& settings,
                                                   std::string& error) {
    const std::string waylandDisplay = environment("WAYLAND_DISPLAY");
    BackendFacts facts;
    facts.requested = settings.backend;
    facts.x11Built = x11BackendBuilt();
    facts.waylandBuilt = waylandBackendBuilt();
    facts.waylandSession = !waylandDisplay.empty();
    facts.askCompositor = [&] { return askWaylandCompositor(waylandDisplay); };
    const BackendChoice choice = chooseBackend(facts);
    if (!choice.kind) {
        error = "no desktop backend can run: " + choice.reason;
        return nullptr;
    }
    if (*choice.kind == BackendKind::Wayland) {
        if (settings.report) settings.report("on Wayland (" + waylandDisplay + "): " + choice.reason + ".");
        return makeWaylandBackend(loop, settings, waylandDisplay, error);
    }
    const std::string x11Display = settings.display.empty() ? environment("DISPLAY") : settings.display;
    if (settings.report)
        settings.report("on X11 (" + (x11Display.empty() ? std::string("DISPLAY is not set") : x11Display) +
                        "): " + choice.reason + ".");
    return makeX11Backend(loop, settings, error);
}

std::optional<int> runExitClipboardServer(const std::vector<std::string>& words) {
    if (words.empty() || words[0] != platform::kExitServerWord) return std::nullopt;
    if (words.size() != 3) return 2;
    std::optional<std::vector<platform::TargetData>> targets = platform::takeServedContent(STDIN_FILENO);
    if (!targets) return 1;
    if (words[1] == "x11") return serveX11ClipboardAfterExit(words[2], std::move(*targets));
    if (words[1] == "wayland") return serveWaylandClipboardAfterExit(words[2], *targets);
    return 2;
}

}  // namespace app
