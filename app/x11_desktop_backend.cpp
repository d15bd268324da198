// The desktop backends this build has, and the choice among them.

#include "app/desktop_backend.h"
#include "platform/x11/connection.h"
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

std::unique_ptr<DesktopBackend> makeDesktopBackend(platform::EventLoop& loop, const DesktopSettings& settings,
                                                   std::string& error) {
    auto connection = platform::x11::Connection::open(
        loop, settings.display.empty() ? nullptr : settings.display.c_str(), &error);
    if (!connection) return nullptr;
    return std::make_unique<X11Backend>(std::move(connection), settings.serveAfterExit);
}

}  // namespace app
