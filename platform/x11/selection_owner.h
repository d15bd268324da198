#pragma once

// Owns a selection and serves a fixed set of (target, bytes) to whoever asks, as ICCCM
// describes: TARGETS, TIMESTAMP and MULTIPLE besides the given targets, INCR for data larger
// than one request may carry, and ownership given up when another program takes the selection.
// Requestors are other programs: a transfer that stalls is dropped after a time-out, and
// requests that name windows which are gone cost nothing but a counted protocol error.

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/clipboard_conversions.h"
#include "platform/x11/connection.h"

namespace platform::x11 {

struct OwnerOptions {
    // Data above this many bytes goes in INCR chunks of this size; 0 takes what one request
    // of the server may carry (with room for the request's own header).
    size_t incrThreshold = 0;
    // How long a requestor may take to ask for the next chunk of an INCR transfer.
    std::chrono::milliseconds transferTimeout{5000};
};

class SelectionOwner {
public:
    explicit SelectionOwner(Connection& connection, std::string selection = "CLIPBOARD", OwnerOptions options = {});
    ~SelectionOwner();  // gives the selection up
    SelectionOwner(const SelectionOwner&) = delete;
    SelectionOwner& operator=(const SelectionOwner&) = delete;

    // Becomes the owner, serving these targets (after TARGETS, TIMESTAMP and MULTIPLE, in this
    // order; a later duplicate of a target is ignored). Replaces what was served before. False,
    // serving nothing, when the server did not make us the owner.
    bool own(std::vector<TargetData> targets);
    // Gives the selection up; transfers already under way finish.
    void disown();
    bool owns() const { return owning_; }

    // Called (from the event dispatch) when another program took the selection from us.
    void setOnLost(std::function<void()> onLost) { onLost_ = std::move(onLost); }

    // The window that owns: what a selection-change notification names as the owner.
    XId window() const { return window_; }
    XTime ownershipTime() const { return ownTime_; }
    // The targets served now, without TARGETS, TIMESTAMP and MULTIPLE.
    const std::vector<TargetData>& targets() const { return *content_; }
    size_t activeTransfers() const { return transfers_.size(); }
    size_t incrThreshold() const;

private:
    struct Transfer;
    using Content = std::vector<TargetData>;

    void onEvent(const _XEvent& event);
    void onSelectionRequest(const _XEvent& event);
    void onSelectionClear(const _XEvent& event);
    void onPropertyNotify(const _XEvent& event);
    // Puts the answer for `target` into the requestor's property; false when it has none.
    bool convert(XId requestor, XAtom target, XAtom property);
    bool convertMultiple(XId requestor, XAtom property);
    void startTransfer(XId requestor, XAtom property, XAtom type, std::shared_ptr<const Content> content,
                       size_t index);
    void sendChunk(Transfer& t);
    void endTransfer(std::pair<XId, XAtom> key);
    void watchRequestor(XId requestor);
    void unwatchRequestor(XId requestor);

    Connection& connection_;
    std::string selectionName_;
    OwnerOptions options_;
    XAtom selection_ = 0;
    XAtom targetsAtom_ = 0, timestampAtom_ = 0, multipleAtom_ = 0, incrAtom_ = 0, atomPairAtom_ = 0;
    XId window_ = 0;
    Connection::HandlerId handler_ = 0;
    bool owning_ = false;
    XTime ownTime_ = 0;
    std::shared_ptr<const Content> content_;
    std::vector<XAtom> contentAtoms_;
    std::map<std::pair<XId, XAtom>, std::unique_ptr<Transfer>> transfers_;
    std::map<XId, int> watched_;  // requestors whose property changes we follow, and for how many transfers
    std::function<void()> onLost_;
    std::shared_ptr<bool> alive_;
};

}  // namespace platform::x11
