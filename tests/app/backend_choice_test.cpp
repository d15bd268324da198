// Which backend the resident program picks, and the reason it prints.

#include "app/backend_choice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using app::BackendKind;
using app::CompositorAnswer;

const CompositorAnswer kOffers{true, "zwlr_data_control_manager_v1", ""};
const CompositorAnswer kOffersNone{true, "", ""};
const CompositorAnswer kNoAnswer{false, "", "Connection refused"};

TEST(BackendChoice, FollowsTheRequestAndTheSession) {
    struct Case {
        std::string requested;
        bool x11Built, waylandBuilt, waylandSession;
        std::optional<CompositorAnswer> compositor;  // nothing: must not be asked
        std::optional<BackendKind> kind;
        std::string reasonHas;
    };
    const Case cases[] = {
        {"", true, true, true, kOffers, BackendKind::Wayland, "compositor offers zwlr_data_control_manager_v1"},
        {"", true, true, true, kOffersNone, BackendKind::X11, "offers no data-control protocol"},
        {"", true, true, true, kNoAnswer, BackendKind::X11, "Connection refused"},
        {"", true, true, false, std::nullopt, BackendKind::X11, "WAYLAND_DISPLAY is not set"},
        {"", true, false, true, std::nullopt, BackendKind::X11, "no Wayland backend"},
        {"", false, true, true, kOffersNone, std::nullopt, "no X11 backend"},
        {"x11", true, true, true, std::nullopt, BackendKind::X11, "--backend x11"},
        {"x11", false, true, true, std::nullopt, std::nullopt, "no X11 backend"},
        {"wayland", true, true, true, kOffers, BackendKind::Wayland, "--backend wayland"},
        {"wayland", true, true, true, kOffersNone, std::nullopt, "offers no data-control protocol"},
        {"wayland", true, true, true, kNoAnswer, std::nullopt, "Connection refused"},
        {"wayland", true, true, false, std::nullopt, std::nullopt, "WAYLAND_DISPLAY is not set"},
        {"wayland", true, false, true, std::nullopt, std::nullopt, "no Wayland backend"},
        {"mir", true, true, true, std::nullopt, std::nullopt, "no backend \"mir\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested + " " + c.reasonHas);
        app::BackendFacts facts;
        facts.requested = c.requested;
        facts.x11Built = c.x11Built;
        facts.waylandBuilt = c.waylandBuilt;
        facts.waylandSession = c.waylandSession;
        facts.askCompositor = [&] {
            EXPECT_TRUE(c.compositor.has_value()) << "the compositor was asked needlessly";
            return c.compositor.value_or(CompositorAnswer{});
        };
        const app::BackendChoice choice = app::chooseBackend(facts);
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_NE(choice.reason.find(c.reasonHas), std::string::npos) << choice.reason;
    }
}

}  // namespace
