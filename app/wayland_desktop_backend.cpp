// The Wayland desktop as the resident program's backend.

#include "app/wayland_desktop_backend.h"

#include "platform/wayland/exit_server.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_desktop.h"

namespace app {

namespace {

class WaylandBackend final : public DesktopBackend {
public:
    WaylandBackend(std::unique_ptr<platform::wayland::WaylandConnection> connection,
                   platform::wayland::WaylandDesktopOptions options)
        : connection_(std::move(connection)),
          desktop_(std::make_unique<platform::wayland::WaylandDesktop>(*connection_, std::move(options))) {}
    ~WaylandBackend() override {
        desktop_.reset();  // it refers to the connection
    }

    platform::Desktop& desktop() override { return *desktop_; }
    uint64_t snapshotSerial() const override { return desktop_->snapshotSerial(); }
    void setOnOwnerGone(std::function<void(uint64_t)> onOwnerGone) override {
        desktop_->setOnOwnerGone(std::move(onOwnerGone));
    }
    void setOnLost(std::function<void()> onLost) override { connection_->setOnLost(std::move(onLost)); }
    bool lost() const override { return connection_->lost(); }

private:
    std::unique_ptr<platform::wayland::WaylandConnection> connection_;
    std::unique_ptr<platform::wayland::WaylandDesktop> desktop_;
};

}  // namespace

bool waylandBackendBuilt() { return true; }

CompositorAnswer askWaylandCompositor(const std::string& display) {
    const platform::wayland::CompositorOffer offer = platform::wayland::probeCompositor(display.c_str());
    CompositorAnswer answer;
    answer.connected = offer.connected;
    answer.error = offer.error;
    if (offer.dataControl != platform::wayland::DataControlProtocol::None)
        answer.dataControl = platform::wayland::protocolName(offer.dataControl);
    return answer;
}

std::unique_ptr<DesktopBackend> makeWaylandBackend(platform::EventLoop& loop, const DesktopSettings& settings,
                                                   const std::string& display, std::string& error) {
    auto connection = platform::wayland::WaylandConnection::open(loop, display.c_str(), &error);
    if (!connection) return nullptr;
    if (connection->dataControl() == platform::wayland::DataControlProtocol::None || connection->seat() == nullptr) {
        error = "the compositor offers no data-control protocol for a seat";
        return nullptr;
    }
    platform::wayland::WaylandDesktopOptions options;
    options.serveAfterExit = settings.serveAfterExit;
    options.notice = settings.report;
    return std::make_unique<WaylandBackend>(std::move(connection), std::move(options));
}

int serveWaylandClipboardAfterExit(const std::string& display, const std::vector<platform::TargetData>& targets) {
    return platform::wayland::serveClipboardUntilTaken(display, targets);
}

}  // namespace app
