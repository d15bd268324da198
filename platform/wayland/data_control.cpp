#include "platform/wayland/data_control.h"

#include <wayland-client.h>

#include <unistd.h>

#include <map>

#include "platform/wayland/wayland_connection.h"
#include "wayland/ext-data-control-v1-client-protocol.h"
#include "wayland/wlr-data-control-unstable-v1-client-protocol.h"

namespace platform::wayland {

namespace {

// The two protocols have the same messages under different names; one implementation serves
// both through these traits.
#define QUILLET_DATA_CONTROL_TRAITS(Traits, p)                                                        \
    struct Traits {                                                                                    \
        using Manager = p##_data_control_manager_v1;                                                   \
        using Device = p##_data_control_device_v1;                                                     \
        using Source = p##_data_control_source_v1;                                                     \
        using Offer = p##_data_control_offer_v1;                                                       \
        using DeviceListener = p##_data_control_device_v1_listener;                                    \
        using SourceListener = p##_data_control_source_v1_listener;                                    \
        using OfferListener = p##_data_control_offer_v1_listener;                                      \
        static Device* getDevice(Manager* m, wl_seat* seat) {                                          \
            return p##_data_control_manager_v1_get_data_device(m, seat);                               \
        }                                                                                              \
        static Source* createSource(Manager* m) { return p##_data_control_manager_v1_create_data_source(m); } \
        static void setSelection(Device* d, Source* s) { p##_data_control_device_v1_set_selection(d, s); } \
        static void destroy(Device* d) { p##_data_control_device_v1_destroy(d); }                      \
        static void destroy(Source* s) { p##_data_control_source_v1_destroy(s); }                      \
        static void destroy(Offer* o) { p##_data_control_offer_v1_destroy(o); }                        \
        static void offer(Source* s, const char* mime) { p##_data_control_source_v1_offer(s, mime); } \
        static void receive(Offer* o, const char* mime, int fd) {                                      \
            p##_data_control_offer_v1_receive(o, mime, fd);                                            \
        }                                                                                              \
        static void listen(Device* d, const DeviceListener* l, void* data) {                           \
            p##_data_control_device_v1_add_listener(d, l, data);                                       \
        }                                                                                              \
        static void listen(Source* s, const SourceListener* l, void* data) {                           \
            p##_data_control_source_v1_add_listener(s, l, data);                                       \
        }                                                                                              \
        static void listen(Offer* o, const OfferListener* l, void* data) {                             \
            p##_data_control_offer_v1_add_listener(o, l, data);                                        \
        }                                                                                              \
    };

QUILLET_DATA_CONTROL_TRAITS(ExtProtocol, ext)
QUILLET_DATA_CONTROL_TRAITS(WlrProtocol, zwlr)
#undef QUILLET_DATA_CONTROL_TRAITS

template <class P>
class Offer final : public DataOffer {
public:
    Offer(WaylandConnection& connection, typename P::Offer* offer) : connection_(connection), offer_(offer) {
        P::listen(offer_, &kListener, this);
    }
    ~Offer() override { P::destroy(offer_); }
    void receive(const std::string& mimeType, int fd) override {
        P::receive(offer_, mimeType.c_str(), fd);
        connection_.flush();
    }

private:
    static void onOffer(void* data, typename P::Offer*, const char* mimeType) {
        static_cast<Offer*>(data)->mimeTypes_.emplace_back(mimeType);
    }
    static constexpr typename P::OfferListener kListener = {&Offer::onOffer};

    WaylandConnection& connection_;
    typename P::Offer* offer_;
};

template <class P>
class Source final : public DataSource {
public:
    Source(typename P::Source* source, DataDevice::OnSend onSend, std::function<void()> onCancelled)
        : source_(source), onSend_(std::move(onSend)), onCancelled_(std::move(onCancelled)) {
        P::listen(source_, &kListener, this);
    }
    ~Source() override { P::destroy(source_); }
    typename P::Source* proxy() const { return source_; }

private:
    static void onSend(void* data, typename P::Source*, const char* mimeType, int32_t fd) {
        auto* self = static_cast<Source*>(data);
        if (self->onSend_) self->onSend_(mimeType, fd);
        else close(fd);
    }
    static void onCancelled(void* data, typename P::Source*) {
        // The handler may destroy this source.
        const std::function<void()> cancelled = static_cast<Source*>(data)->onCancelled_;
        if (cancelled) cancelled();
    }
    static constexpr typename P::SourceListener kListener = {&Source::onSend, &Source::onCancelled};

    typename P::Source* source_;
    DataDevice::OnSend onSend_;
    std::function<void()> onCancelled_;
};

template <class P>
class Device final : public DataDevice {
public:
    Device(WaylandConnection& connection, typename P::Manager* manager, Handlers handlers)
        : connection_(connection), manager_(manager), handlers_(std::move(handlers)) {
        device_ = P::getDevice(manager_, connection_.seat());
        P::listen(device_, &kListener, this);
        connection_.flush();
    }
    ~Device() override {
        pending_.clear();
        P::destroy(device_);
        connection_.flush();
    }

    std::unique_ptr<DataSource> createSource(const std::vector<std::string>& mimeTypes, OnSend onSend,
                                             std::function<void()> onCancelled) override {
        typename P::Source* proxy = P::createSource(manager_);
        auto source = std::make_unique<Source<P>>(proxy, std::move(onSend), std::move(onCancelled));
        for (const std::string& mime : mimeTypes) P::offer(proxy, mime.c_str());
        connection_.flush();
        return source;
    }

    void setSelection(DataSource* source) override {
        auto* ours = static_cast<Source<P>*>(source);
        P::setSelection(device_, ours ? ours->proxy() : nullptr);
        connection_.flush();
    }

private:
    static void onDataOffer(void* data, typename P::Device*, typename P::Offer* offer) {
        auto* self = static_cast<Device*>(data);
        self->pending_[offer] = std::make_unique<Offer<P>>(self->connection_, offer);
    }
    static void onSelection(void* data, typename P::Device*, typename P::Offer* offer) {
        auto* self = static_cast<Device*>(data);
        std::unique_ptr<DataOffer> taken = self->take(offer);
        if (self->handlers_.onSelection) self->handlers_.onSelection(std::move(taken));
    }
    static void onFinished(void* data, typename P::Device*) {
        // The seat is gone; no more selections come. The device is destroyed with this object.
        static_cast<Device*>(data)->pending_.clear();
    }
    static void onPrimarySelection(void* data, typename P::Device*, typename P::Offer* offer) {
        static_cast<Device*>(data)->take(offer);  // not ours to keep
    }
    static constexpr typename P::DeviceListener kListener = {&Device::onDataOffer, &Device::onSelection,
                                                             &Device::onFinished, &Device::onPrimarySelection};

    std::unique_ptr<DataOffer> take(typename P::Offer* offer) {
        if (offer == nullptr) return nullptr;
        auto it = pending_.find(offer);
        if (it == pending_.end()) return nullptr;
        std::unique_ptr<DataOffer> taken = std::move(it->second);
        pending_.erase(it);
        return taken;
    }

    WaylandConnection& connection_;
    typename P::Manager* manager_;
    Handlers handlers_;
    typename P::Device* device_ = nullptr;
    std::map<typename P::Offer*, std::unique_ptr<DataOffer>> pending_;
};

}  // namespace

std::unique_ptr<DataDevice> makeDataDevice(WaylandConnection& connection, DataDevice::Handlers handlers) {
    if (connection.seat() == nullptr) return nullptr;
    switch (connection.dataControl()) {
        case DataControlProtocol::Ext:
            return std::make_unique<Device<ExtProtocol>>(
                connection, static_cast<ext_data_control_manager_v1*>(connection.dataControlManager()),
                std::move(handlers));
        case DataControlProtocol::Wlr:
            return std::make_unique<Device<WlrProtocol>>(
                connection, static_cast<zwlr_data_control_manager_v1*>(connection.dataControlManager()),
                std::move(handlers));
        case DataControlProtocol::None: break;
    }
    return nullptr;
}

}  // namespace platform::wayland
