#include "platform/x11/selection_reader.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>

namespace platform::x11 {

namespace {

constexpr size_t kPropertyPool = 8;

struct PropertyData {
    bool exists = false;
    Atom type = None;
    int format = 0;
    size_t bytes = 0;  // the value's size in bytes, as the server counts it
};

// The type, format and size of a property, without fetching its value.
PropertyData peekProperty(Display* d, Window w, Atom property) {
    PropertyData p;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 0, False, AnyPropertyType, &type, &format, &items, &after, &value) !=
        Success)
        return p;
    if (value) XFree(value);
    if (type == None) return p;
    p.exists = true;
    p.type = type;
    p.format = format;
    p.bytes = after;
    return p;
}

// The whole value of a property, as bytes: 16- and 32-bit items as 16- and 32-bit numbers
// (Xlib hands format 32 over as longs). False when it cannot be read.
bool fetchProperty(Display* d, Window w, Atom property, size_t bytes, bool erase, PropertyData& info,
                   std::string& out) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* value = nullptr;
    const long units = static_cast<long>((bytes + 3) / 4);
    if (XGetWindowProperty(d, w, property, 0, units, erase ? True : False, AnyPropertyType, &type, &format, &items,
                           &after, &value) != Success)
        return false;
    info.exists = type != None;
    info.type = type;
    info.format = format;
    bool ok = after == 0;  // it grew between the two looks: not what an owner does
    if (ok && value) {
        switch (format) {
            case 8:
                out.append(reinterpret_cast<const char*>(value), items);
                break;
            case 16:
                for (unsigned long i = 0; i < items; ++i) {
                    const uint16_t v = static_cast<uint16_t>(reinterpret_cast<const unsigned short*>(value)[i]);
                    out.append(reinterpret_cast<const char*>(&v), 2);
                }
                break;
            case 32:
                for (unsigned long i = 0; i < items; ++i) {
                    const uint32_t v = static_cast<uint32_t>(reinterpret_cast<const unsigned long*>(value)[i]);
                    out.append(reinterpret_cast<const char*>(&v), 4);
                }
                break;
            default:
                ok = items == 0;
        }
    }
    if (value) XFree(value);
    return ok;
}

}  // namespace

struct SelectionReader::Request {
    enum class Kind { Target, Targets, Snapshot } kind = Kind::Target;
    std::string targetName;
    XAtom target = None;
    XTime time = CurrentTime;
    XAtom property = None;
    bool incremental = false;
    bool discarding = false;  // over the size cap in an INCR transfer: chunks are dropped
    ReadResult result;
    Done done;
    TargetsDone targetsDone;
    // A snapshot is a chain of requests; the chain's state travels with it.
    struct SnapshotState {
        Chooser choose;
        std::function<void(Snapshot)> done;
        Snapshot snapshot;
        std::vector<std::vector<std::string>> groups;
        size_t group = 0;
        size_t candidate = 0;
    };
    std::shared_ptr<SnapshotState> snapshot;
    bool snapshotTargets = false;  // the chain's first step
};

std::vector<std::string> SelectionReader::atomNames(const ReadResult& result) {
    std::vector<std::string> names;
    if (result.format != 32) return names;
    for (size_t i = 0; i + 4 <= result.data.size(); i += 4) {
        uint32_t a = 0;
        std::memcpy(&a, result.data.data() + i, 4);
        std::string name = connection_.atomName(a);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

SelectionReader::SelectionReader(Connection& connection, std::string selection, ReadOptions options)
    : connection_(connection),
      selectionName_(std::move(selection)),
      options_(options),
      alive_(std::make_shared<bool>(true)) {
    selection_ = connection_.atom(selectionName_);
    incrAtom_ = connection_.atom("INCR");
    for (size_t i = 0; i < kPropertyPool; ++i)
        properties_.push_back(connection_.atom("_QUILLET_SELECTION_" + std::to_string(i)));
    window_ = connection_.createWindow();
    handler_ = connection_.addEventHandler([this](const XEvent& e) { onEvent(e); });
}

SelectionReader::~SelectionReader() {
    alive_.reset();
    disarmTimer();
    connection_.removeEventHandler(handler_);
    connection_.destroyWindow(window_);
}

void SelectionReader::readTarget(std::string target, Done done, XTime time) {
    auto r = std::make_unique<Request>();
    r->kind = Request::Kind::Target;
    r->targetName = std::move(target);
    r->time = time;
    r->done = std::move(done);
    queue_.push_back(std::move(r));
    startNext();
}

void SelectionReader::readTargets(TargetsDone done, XTime time) {
    auto r = std::make_unique<Request>();
    r->kind = Request::Kind::Targets;
    r->targetName = "TARGETS";
    r->time = time;
    r->targetsDone = std::move(done);
    queue_.push_back(std::move(r));
    startNext();
}

void SelectionReader::readSnapshot(Chooser choose, std::function<void(Snapshot)> done, XTime time) {
    auto r = std::make_unique<Request>();
    r->kind = Request::Kind::Snapshot;
    r->targetName = "TARGETS";
    r->time = time;
    r->snapshotTargets = true;
    r->snapshot = std::make_shared<Request::SnapshotState>();
    r->snapshot->choose = std::move(choose);
    r->snapshot->done = std::move(done);
    queue_.push_back(std::move(r));
    startNext();
}

void SelectionReader::cancelAll() {
    disarmTimer();
    if (active_) {
        active_->result.status = ReadStatus::Lost;
        deliver(std::move(active_));
    }
    while (!queue_.empty()) {
        std::unique_ptr<Request> r = std::move(queue_.front());
        queue_.pop_front();
        r->result.status = ReadStatus::Lost;
        r->result.target = r->targetName;
        if (r->snapshot) r->snapshot->snapshot.status = ReadStatus::Lost;
        deliver(std::move(r));
    }
}

void SelectionReader::startNext() {
    while (!active_ && !queue_.empty()) {
        active_ = std::move(queue_.front());
        queue_.pop_front();
        begin(*active_);
    }
}

void SelectionReader::begin(Request& r) {
    r.result = ReadResult{};
    r.result.target = r.targetName;
    r.incremental = false;
    r.discarding = false;
    if (connection_.lost() || window_ == None) {
        finish(ReadStatus::Lost);
        return;
    }
    Display* d = connection_.display();
    if (connection_.selectionOwner(selectionName_) == None) {
        finish(ReadStatus::NoOwner);
        return;
    }
    r.target = connection_.atom(r.targetName);
    if (r.target == None) {
        finish(ReadStatus::Refused);
        return;
    }
    r.property = properties_[nextProperty_++ % properties_.size()];
    // What an abandoned request left there must not pass for this one's answer.
    XDeleteProperty(d, window_, r.property);
    XConvertSelection(d, selection_, r.target, r.property, window_, r.time);
    armTimer();
    connection_.flush();
}

void SelectionReader::armTimer() {
    disarmTimer();
    timer_ = connection_.loop().startTimer(options_.timeout, [weak = std::weak_ptr<bool>(alive_), this] {
        if (!weak.lock()) return;
        timer_ = 0;
        if (active_) finish(active_->discarding ? ReadStatus::TooLarge : ReadStatus::Timeout);
    });
}

void SelectionReader::disarmTimer() {
    if (timer_ != 0) connection_.loop().cancelTimer(timer_);
    timer_ = 0;
}

void SelectionReader::finish(ReadStatus status) {
    disarmTimer();
    if (!active_) return;
    std::unique_ptr<Request> r = std::move(active_);
    r->result.status = status;
    r->result.incremental = r->incremental;
    if (status != ReadStatus::Ok) r->result.data.clear();
    if (!connection_.lost() && window_ != None && r->property != None && status != ReadStatus::Ok &&
        status != ReadStatus::NoOwner) {
        XDeleteProperty(connection_.display(), window_, r->property);
    }

    if (r->kind == Request::Kind::Snapshot) {
        auto& s = *r->snapshot;
        if (r->snapshotTargets) {
            s.snapshot.status = status;
            if (status == ReadStatus::Ok) {
                s.snapshot.offered = atomNames(r->result);
                if (s.choose) s.groups = s.choose(s.snapshot.offered);
            }
        } else if (status == ReadStatus::Timeout || status == ReadStatus::Lost) {
            // An owner that stopped answering is not asked for more: the snapshot is incomplete.
            s.snapshot.status = status;
        } else if (status == ReadStatus::Ok || s.candidate + 1 >= s.groups[s.group].size()) {
            if (status == ReadStatus::Ok) s.snapshot.items.push_back(r->result);
            ++s.group;
            s.candidate = 0;
        } else {
            ++s.candidate;  // the group's next target stands in
        }
        while (s.group < s.groups.size() && s.groups[s.group].empty()) ++s.group;
        if (s.snapshot.status == ReadStatus::Ok && s.group < s.groups.size()) {
            auto next = std::make_unique<Request>();
            next->kind = Request::Kind::Snapshot;
            next->targetName = s.groups[s.group][s.candidate];
            next->time = r->time;
            next->snapshot = r->snapshot;
            queue_.push_front(std::move(next));
        } else {
            deliver(std::move(r));
        }
    } else {
        deliver(std::move(r));
    }
    startNext();
}

void SelectionReader::deliver(std::unique_ptr<Request> r) {
    // Callbacks run from the loop, after this reader's own state is settled.
    std::shared_ptr<Request> shared(std::move(r));
    connection_.loop().post([weak = std::weak_ptr<bool>(alive_), this, shared] {
        if (!weak.lock()) return;
        Request& q = *shared;
        switch (q.kind) {
            case Request::Kind::Target:
                if (q.done) q.done(std::move(q.result));
                break;
            case Request::Kind::Targets:
                if (q.targetsDone) {
                    std::vector<std::string> names;
                    if (q.result.status == ReadStatus::Ok) names = atomNames(q.result);
                    q.targetsDone(q.result.status, std::move(names));
                }
                break;
            case Request::Kind::Snapshot:
                if (q.snapshot->done) q.snapshot->done(std::move(q.snapshot->snapshot));
                break;
        }
    });
}

void SelectionReader::onEvent(const XEvent& event) {
    if (!active_) return;
    if (event.type == SelectionNotify) onSelectionNotify(event);
    else if (event.type == PropertyNotify) onPropertyNotify(event);
}

void SelectionReader::onSelectionNotify(const XEvent& event) {
    const XSelectionEvent& e = event.xselection;
    Request& r = *active_;
    if (e.requestor != window_ || e.selection != selection_ || r.incremental) return;
    if (e.target != r.target) return;
    if (e.property == None) {
        finish(ReadStatus::Refused);
        return;
    }
    if (e.property != r.property) return;  // a late answer to an earlier request

    Display* d = connection_.display();
    const PropertyData info = peekProperty(d, window_, r.property);
    if (!info.exists) {
        finish(ReadStatus::BadReply);
        return;
    }
    if (info.type == incrAtom_) {
        // The value is a lower bound of the size; some owners give none.
        std::string bound;
        PropertyData incr;
        if (info.bytes > 64 || !fetchProperty(d, window_, r.property, info.bytes, false, incr, bound)) {
            finish(ReadStatus::BadReply);
            return;
        }
        uint32_t lowerBound = 0;
        if (bound.size() >= 4) std::memcpy(&lowerBound, bound.data(), 4);
        r.incremental = true;
        // Too large already by the owner's word: the transfer is taken and dropped, as below.
        r.discarding = lowerBound > options_.maxBytes;
        if (!r.discarding) r.result.data.reserve(lowerBound);
        // Deleting the property asks the owner for the first chunk.
        XDeleteProperty(d, window_, r.property);
        armTimer();
        connection_.flush();
        return;
    }
    if (info.bytes > options_.maxBytes) {
        finish(ReadStatus::TooLarge);
        return;
    }
    PropertyData got;
    if (!fetchProperty(d, window_, r.property, info.bytes, true, got, r.result.data) ||
        r.result.data.size() > options_.maxBytes) {
        finish(ReadStatus::BadReply);
        return;
    }
    r.result.type = connection_.atomName(got.type);
    r.result.format = got.format;
    finish(ReadStatus::Ok);
    connection_.flush();
}

void SelectionReader::onPropertyNotify(const XEvent& event) {
    const XPropertyEvent& e = event.xproperty;
    Request& r = *active_;
    if (!r.incremental || e.window != window_ || e.atom != r.property || e.state != PropertyNewValue) return;
    readIncrementChunk();
}

void SelectionReader::readIncrementChunk() {
    Request& r = *active_;
    Display* d = connection_.display();
    const PropertyData info = peekProperty(d, window_, r.property);
    if (!info.exists) return;  // already taken; a later notification brings the next chunk
    if (r.discarding) {
        if (info.bytes == 0) {
            finish(ReadStatus::TooLarge);
            return;
        }
        XDeleteProperty(d, window_, r.property);
        connection_.flush();
        return;
    }
    if (info.bytes > options_.maxBytes - r.result.data.size()) {
        // Owners wait for each chunk to be taken before they serve anyone else: the rest is
        // taken and dropped, within one more time-out, so the owner is not left hanging.
        r.discarding = true;
        r.result.data = std::string();
        XDeleteProperty(d, window_, r.property);
        armTimer();
        connection_.flush();
        return;
    }
    PropertyData got;
    const size_t before = r.result.data.size();
    if (!fetchProperty(d, window_, r.property, info.bytes, true, got, r.result.data)) {
        finish(ReadStatus::BadReply);
        return;
    }
    connection_.flush();  // the deletion asks for the next chunk
    if (r.result.data.size() == before) {
        // A chunk of zero length ends the transfer.
        r.result.type = connection_.atomName(got.type);
        r.result.format = got.format;
        finish(ReadStatus::Ok);
        return;
    }
    if (r.result.format == 0) r.result.format = got.format;
    armTimer();
}

}  // namespace platform::x11
