#include "platform/x11/selection_monitor.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace platform::x11 {

namespace {

constexpr unsigned long kAllChanges = XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                      XFixesSelectionClientCloseNotifyMask;

}  // namespace

SelectionMonitor::SelectionMonitor(Connection& connection, std::string selection)
    : connection_(connection), selectionName_(std::move(selection)) {
    selection_ = connection_.atom(selectionName_);
    window_ = connection_.createWindow();
    handler_ = connection_.addEventHandler([this](const XEvent& e) { onEvent(e); });
}

SelectionMonitor::~SelectionMonitor() {
    stop();
    connection_.removeEventHandler(handler_);
    connection_.destroyWindow(window_);
}

void SelectionMonitor::start(Callback callback) {
    callback_ = std::move(callback);
    if (running_ || connection_.lost() || window_ == None) {
        running_ = running_ && !connection_.lost();
        return;
    }
    running_ = true;
    XFixesSelectSelectionInput(connection_.display(), window_, selection_, kAllChanges);
    connection_.flush();
}

void SelectionMonitor::stop() {
    if (!running_) return;
    running_ = false;
    if (connection_.lost()) return;
    XFixesSelectSelectionInput(connection_.display(), window_, selection_, 0);
    connection_.flush();
}

void SelectionMonitor::onEvent(const XEvent& event) {
    if (!running_ || event.type != connection_.xfixesEventBase() + XFixesSelectionNotify) return;
    const auto& e = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
    if (e.window != window_ || e.selection != selection_) return;
    SelectionChange change;
    switch (e.subtype) {
        case XFixesSetSelectionOwnerNotify: change.kind = SelectionChangeKind::NewOwner; break;
        case XFixesSelectionWindowDestroyNotify: change.kind = SelectionChangeKind::OwnerWindowDestroyed; break;
        case XFixesSelectionClientCloseNotify: change.kind = SelectionChangeKind::OwnerClientClosed; break;
        default: return;
    }
    change.owner = change.kind == SelectionChangeKind::NewOwner ? e.owner : None;
    change.ours = connection_.isOurWindow(change.owner);
    change.timestamp = e.timestamp;
    change.selectionTimestamp = e.selection_timestamp;
    if (callback_) {
        Callback callback = callback_;  // the callback may stop or restart the monitor
        callback(change);
    }
}

}  // namespace platform::x11
