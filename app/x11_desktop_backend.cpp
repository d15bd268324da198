// The X11 desktop as the resident program's backend.

#include "app/x11_desktop_backend.h"

#include "platform/x11/connection.h"
#include "platform/x11/exit_server.h"
#include "platform/x11/x11_desktop.h"

namespace app {

namespace {

class X11Backend final : public DesktopBackend {
public:
    X11Backend(std::unique_ptr<platform::x11::Connection> connection, bool serveAfterExit)
        : connection_(std::move(connection)) {
        platform::x11::X11DesktopOptions options;
        options.serveAfterExit = serveAfterExit;
        desktop_ = std::make_unique<platform::x11::X11Desktop>(*connection_, options);
    }
    ~X11Backend() override {
        desktop_.reset();  // it refers to the connection
    }

    platform::Desktop& desktop() override { return *desktop_; }
    uint64_t snapshotSerial() const override { return desktop_->snapshotSerial(); }
    void setOnOwnerGone(std::function<void(uint64_t)> onOwnerGone) override {
        desktop_->setOnOwnerGone(std::move(onOwnerGone));
    }
    void setOnLost(std::function<void()> onLost) override { connection_->setOnLost(std::move(onLost)); }
    bool lost() const override { return connection_->lost(); }
    void setOnShortcutRefused(std::function<void(const platform::KeyChord&)> onRefused) override {
        desktop_->setOnShortcutRefused(std::move(onRefused));
    }

private:
    std::unique_ptr<platform::x11::Connection> connection_;
    std::unique_ptr<platform::x11::X11Desktop> desktop_;
};

}  // namespace

bool x11BackendBuilt() { return true; }

std::unique_ptr<DesktopBackend> makeX11Backend(platform::EventLoop& loop, const DesktopSettings& settings,
                                               std::string& error) {
    auto connection = platform::x11::Connection::open(
        loop, settings.display.empty() ? nullptr : settings.display.c_str(), &error);
    if (!connection) return nullptr;
    return std::make_unique<X11Backend>(std::move(connection), settings.serveAfterExit);
}

int serveX11ClipboardAfterExit(const std::string& display, std::vector<platform::TargetData> targets) {
    return platform::x11::serveClipboardUntilTaken(display, std::move(targets));
}

}  // namespace app
