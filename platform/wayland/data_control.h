#pragma once

// One seat's clipboard through a data-control protocol, whichever of the two the compositor
// offers (ext_data_control_v1, or the older zwlr_data_control_unstable_v1 with the same
// messages): the offers other clients make, and sources of our own. The primary selection is
// left alone.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::wayland {

class WaylandConnection;

// The clipboard's content as another client offers it. Destroying it lets it go.
class DataOffer {
public:
    virtual ~DataOffer() = default;
    // The MIME types offered, in the order the compositor listed them.
    const std::vector<std::string>& mimeTypes() const { return mimeTypes_; }
    // Asks the owner to write the data of the MIME type to the descriptor (which stays ours:
    // the request sends a copy of it).
    virtual void receive(const std::string& mimeType, int fd) = 0;

protected:
    std::vector<std::string> mimeTypes_;
};

// Content of ours that the compositor may make the clipboard's. Destroying it withdraws it
// (when it is the clipboard's content, the clipboard becomes empty).
class DataSource {
public:
    virtual ~DataSource() = default;
};

class DataDevice {
public:
    struct Handlers {
        // The clipboard's content changed: the new offer, or null when the clipboard is empty.
        std::function<void(std::unique_ptr<DataOffer> offer)> onSelection;
    };
    // A reader asks for the data of one MIME type, to be written to fd (ours to close).
    using OnSend = std::function<void(const std::string& mimeType, int fd)>;

    virtual ~DataDevice() = default;
    // A source offering the MIME types. onCancelled: another content replaced it.
    virtual std::unique_ptr<DataSource> createSource(const std::vector<std::string>& mimeTypes, OnSend onSend,
                                                     std::function<void()> onCancelled) = 0;
    // Makes the source the clipboard's content; null empties the clipboard. A source can be
    // set once.
    virtual void setSelection(DataSource* source) = 0;
};

// The seat's device on the data-control manager the connection has; null when it has none.
std::unique_ptr<DataDevice> makeDataDevice(WaylandConnection& connection, DataDevice::Handlers handlers);

}  // namespace platform::wayland
