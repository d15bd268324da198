#include "platform/x11/selection_owner.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

namespace platform::x11 {

namespace {

// Room for the ChangeProperty request's own fields.
constexpr size_t kRequestHeaderBytes = 64;
// The most (target, property) pairs one MULTIPLE request may name.
constexpr long kMaxMultiplePairs = 256;

void changeProperty32(Display* d, Window w, Atom property, Atom type, const std::vector<long>& values) {
    XChangeProperty(d, w, property, type, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
}

}  // namespace

struct SelectionOwner::Transfer {
    XId requestor = None;
    XAtom property = None;
    XAtom type = None;
    std::shared_ptr<const Content> content;  // kept alive even when ownership changes meanwhile
    size_t index = 0;
    size_t offset = 0;
    EventLoop::TimerId timer = 0;
};

SelectionOwner::SelectionOwner(Connection& connection, std::string selection, OwnerOptions options)
    : connection_(connection),
      selectionName_(std::move(selection)),
      options_(options),
      content_(std::make_shared<const Content>()),
      alive_(std::make_shared<bool>(true)) {
    selection_ = connection_.atom(selectionName_);
    targetsAtom_ = connection_.atom("TARGETS");
    timestampAtom_ = connection_.atom("TIMESTAMP");
    multipleAtom_ = connection_.atom("MULTIPLE");
    incrAtom_ = connection_.atom("INCR");
    atomPairAtom_ = connection_.atom("ATOM_PAIR");
    window_ = connection_.createWindow();
    handler_ = connection_.addEventHandler([this](const XEvent& e) { onEvent(e); });
}

SelectionOwner::~SelectionOwner() {
    alive_.reset();
    while (!transfers_.empty()) endTransfer(transfers_.begin()->first);
    disown();
    connection_.removeEventHandler(handler_);
    connection_.destroyWindow(window_);
}

size_t SelectionOwner::incrThreshold() const {
    if (options_.incrThreshold > 0) return options_.incrThreshold;
    const size_t max = connection_.maxRequestBytes();
    return max > 2 * kRequestHeaderBytes ? max - kRequestHeaderBytes : kRequestHeaderBytes;
}

bool SelectionOwner::own(std::vector<TargetData> targets) {
    Content content;
    std::vector<XAtom> atoms;
    for (TargetData& t : targets) {
        const XAtom a = connection_.atom(t.target);
        if (a == None || a == targetsAtom_ || a == timestampAtom_ || a == multipleAtom_) continue;
        if (std::find(atoms.begin(), atoms.end(), a) != atoms.end()) continue;
        atoms.push_back(a);
        content.push_back(std::move(t));
    }
    if (connection_.lost() || window_ == None) return false;
    const XTime time = connection_.serverTime(window_);
    if (time == CurrentTime) return false;
    Display* d = connection_.display();
    XSetSelectionOwner(d, selection_, window_, time);
    if (connection_.selectionOwner(selectionName_) != window_) {
        owning_ = false;
        content_ = std::make_shared<const Content>();
        contentAtoms_.clear();
        return false;
    }
    owning_ = true;
    ownTime_ = time;
    content_ = std::make_shared<const Content>(std::move(content));
    contentAtoms_ = std::move(atoms);
    connection_.flush();
    return true;
}

void SelectionOwner::disown() {
    if (!owning_) return;
    owning_ = false;
    content_ = std::make_shared<const Content>();
    contentAtoms_.clear();
    if (connection_.lost()) return;
    XSetSelectionOwner(connection_.display(), selection_, None, ownTime_);
    connection_.flush();
}

void SelectionOwner::onEvent(const XEvent& event) {
    switch (event.type) {
        case SelectionRequest: onSelectionRequest(event); break;
        case SelectionClear: onSelectionClear(event); break;
        case PropertyNotify: onPropertyNotify(event); break;
        default: break;
    }
}

void SelectionOwner::onSelectionRequest(const XEvent& event) {
    const XSelectionRequestEvent& e = event.xselectionrequest;
    if (e.owner != window_) return;
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = e.display;
    reply.xselection.requestor = e.requestor;
    reply.xselection.selection = e.selection;
    reply.xselection.target = e.target;
    reply.xselection.time = e.time;
    reply.xselection.property = None;
    // A request from before we owned is for an earlier owner's content.
    const bool current = e.time == CurrentTime || e.time >= ownTime_;
    if (owning_ && e.selection == selection_ && current) {
        // Obsolete requestors give no property: the target names it.
        const Atom property = e.property == None ? e.target : e.property;
        const bool ok = e.target == multipleAtom_ ? e.property != None && convertMultiple(e.requestor, e.property)
                                                  : convert(e.requestor, e.target, property);
        if (ok) reply.xselection.property = property;
    }
    if (connection_.lost()) return;
    XSendEvent(connection_.display(), e.requestor, False, NoEventMask, &reply);
    connection_.flush();
}

bool SelectionOwner::convert(XId requestor, XAtom target, XAtom property) {
    Display* d = connection_.display();
    if (target == targetsAtom_) {
        std::vector<long> atoms = {static_cast<long>(targetsAtom_), static_cast<long>(timestampAtom_),
                                   static_cast<long>(multipleAtom_)};
        for (XAtom a : contentAtoms_) atoms.push_back(static_cast<long>(a));
        changeProperty32(d, requestor, property, XA_ATOM, atoms);
        return true;
    }
    if (target == timestampAtom_) {
        changeProperty32(d, requestor, property, XA_INTEGER, {static_cast<long>(ownTime_)});
        return true;
    }
    // MULTIPLE may not name itself.
    if (target == multipleAtom_ || target == None) return false;
    const auto it = std::find(contentAtoms_.begin(), contentAtoms_.end(), target);
    if (it == contentAtoms_.end()) return false;
    const size_t index = static_cast<size_t>(it - contentAtoms_.begin());
    const std::string& bytes = (*content_)[index].bytes;
    if (bytes.size() > incrThreshold()) {
        startTransfer(requestor, property, target, content_, index);
        return true;
    }
    XChangeProperty(d, requestor, property, target, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    return true;
}

bool SelectionOwner::convertMultiple(XId requestor, XAtom property) {
    Display* d = connection_.display();
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(d, requestor, property, 0, 2 * kMaxMultiplePairs, False, AnyPropertyType, &type, &format,
                           &items, &after, &value) != Success)
        return false;
    std::vector<long> pairs;
    if (value && format == 32) {
        const auto* longs = reinterpret_cast<const long*>(value);
        pairs.assign(longs, longs + (items & ~1UL));
    }
    if (value) XFree(value);
    if (pairs.empty() || after != 0) return false;
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
        const auto target = static_cast<XAtom>(pairs[i]);
        const auto pairProperty = static_cast<XAtom>(pairs[i + 1]);
        if (pairProperty == None || !convert(requestor, target, pairProperty)) pairs[i + 1] = None;
    }
    // The pairs go back with the conversions that failed named None.
    changeProperty32(d, requestor, property, atomPairAtom_, pairs);
    return true;
}

void SelectionOwner::startTransfer(XId requestor, XAtom property, XAtom type, std::shared_ptr<const Content> content,
                                   size_t index) {
    const std::pair<XId, XAtom> key{requestor, property};
    if (transfers_.count(key)) endTransfer(key);
    auto t = std::make_unique<Transfer>();
    t->requestor = requestor;
    t->property = property;
    t->type = type;
    t->content = std::move(content);
    t->index = index;
    // The requestor's deletion of the property asks for each next chunk: we must see it.
    watchRequestor(requestor);
    const size_t size = (*t->content)[index].bytes.size();
    changeProperty32(connection_.display(), requestor, property, incrAtom_,
                     {static_cast<long>(std::min<size_t>(size, 0xFFFFFFFF))});
    Transfer& ref = *t;
    transfers_.emplace(key, std::move(t));
    ref.timer = connection_.loop().startTimer(options_.transferTimeout, [weak = std::weak_ptr<bool>(alive_), this, key] {
        if (!weak.lock()) return;
        auto it = transfers_.find(key);
        if (it == transfers_.end()) return;
        it->second->timer = 0;
        endTransfer(key);
    });
}

void SelectionOwner::onPropertyNotify(const XEvent& event) {
    const XPropertyEvent& e = event.xproperty;
    if (e.state != PropertyDelete) return;
    auto it = transfers_.find({e.window, e.atom});
    if (it == transfers_.end()) return;
    sendChunk(*it->second);
}

void SelectionOwner::sendChunk(Transfer& t) {
    Display* d = connection_.display();
    const std::string& bytes = (*t.content)[t.index].bytes;
    const std::pair<XId, XAtom> key{t.requestor, t.property};
    if (t.offset >= bytes.size()) {
        // A chunk of zero length tells the requestor that the transfer is complete.
        XChangeProperty(d, t.requestor, t.property, t.type, 8, PropModeReplace, nullptr, 0);
        endTransfer(key);
        connection_.flush();
        return;
    }
    const size_t chunk = std::min(incrThreshold(), bytes.size() - t.offset);
    XChangeProperty(d, t.requestor, t.property, t.type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(bytes.data() + t.offset), static_cast<int>(chunk));
    t.offset += chunk;
    if (t.timer != 0) connection_.loop().cancelTimer(t.timer);
    t.timer = connection_.loop().startTimer(options_.transferTimeout, [weak = std::weak_ptr<bool>(alive_), this, key] {
        if (!weak.lock()) return;
        auto it = transfers_.find(key);
        if (it == transfers_.end()) return;
        it->second->timer = 0;
        endTransfer(key);
    });
    connection_.flush();
}

void SelectionOwner::endTransfer(std::pair<XId, XAtom> key) {
    auto it = transfers_.find(key);
    if (it == transfers_.end()) return;
    if (it->second->timer != 0) connection_.loop().cancelTimer(it->second->timer);
    const XId requestor = it->second->requestor;
    transfers_.erase(it);
    unwatchRequestor(requestor);
}

void SelectionOwner::watchRequestor(XId requestor) {
    if (watched_[requestor]++ > 0) return;
    // Our own windows already follow their properties; their masks are not ours to change.
    if (connection_.isOurWindow(requestor) || connection_.lost()) return;
    XSelectInput(connection_.display(), requestor, PropertyChangeMask);
}

void SelectionOwner::unwatchRequestor(XId requestor) {
    auto it = watched_.find(requestor);
    if (it == watched_.end()) return;
    if (--it->second > 0) return;
    watched_.erase(it);
    if (connection_.isOurWindow(requestor) || connection_.lost()) return;
    XSelectInput(connection_.display(), requestor, NoEventMask);
    connection_.flush();
}

void SelectionOwner::onSelectionClear(const XEvent& event) {
    const XSelectionClearEvent& e = event.xselectionclear;
    if (e.window != window_ || e.selection != selection_ || !owning_) return;
    if (e.time != CurrentTime && e.time < ownTime_) return;  // about an earlier ownership
    owning_ = false;
    content_ = std::make_shared<const Content>();
    contentAtoms_.clear();
    if (onLost_) onLost_();
}

}  // namespace platform::x11
