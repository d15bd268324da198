#include "platform/x11/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/clipboard_formats.h"
#include "platform/text_codec.h"
#include "platform/x11/focus_tracker.h"
#include "platform/x11/key_injector.h"
#include "platform/x11/keyboard_grabs.h"
#include "platform/x11/paste_keys.h"
#include "platform/x11/selection_monitor.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/selection_reader.h"
#include "platform/x11/window_activation.h"
#include "platform/x11/window_process.h"
#include "platform/x11/window_queries.h"

namespace platform::x11 {

namespace {

// The one keyboard hook there is.
constexpr HookHandle kKeyboardHook{1};

constexpr uintptr_t kOwnBit = uintptr_t{1} << (sizeof(uintptr_t) * 8 - 1);

// The owner that stops answering once is not asked again for this content: every further
// request would cost another full time-out.
bool endsRead(ReadStatus status) {
    return status == ReadStatus::Timeout || status == ReadStatus::Lost || status == ReadStatus::NoOwner;
}

}  // namespace

// One read of a new content: TARGETS, our tag or the password hint, then each wanted format,
// trying a format's targets best first.
class X11Desktop::CaptureRead {
public:
    CaptureRead(X11Desktop& desktop, WindowHandle owner, ProcessId pid, XTime time)
        : desktop_(desktop), owner_(owner), pid_(pid), time_(time), alive_(std::make_shared<bool>(true)) {}

    void start() {
        std::weak_ptr<bool> alive = alive_;
        desktop_.reader_->readTargets(
            [this, alive](ReadStatus status, std::vector<std::string> offered) {
                if (alive.expired()) return;
                if (status != ReadStatus::Ok) return finish({});
                onTargets(std::move(offered));
            },
            time_);
    }

private:
    void onTargets(std::vector<std::string> offered) {
        if (offersQuilletTag(offered)) return finish({{registeredFormats().quilletTag, std::string()}});
        plans_ = planRead(offered);
        if (std::optional<std::string> hint = passwordHintTarget(offered)) {
            std::weak_ptr<bool> alive = alive_;
            desktop_.reader_->readTarget(
                *hint,
                [this, alive](ReadResult r) {
                    if (alive.expired()) return;
                    // A password manager asks clipboard history to leave its data alone: the
                    // data is not even read.
                    if (r.status == ReadStatus::Ok && isSecretHint(r.data))
                        return finish({{registeredFormats().clipboardViewerIgnore, std::string()}});
                    if (endsRead(r.status)) return finish({});
                    next();
                },
                time_);
            return;
        }
        next();
    }

    void next() {
        while (plan_ < plans_.size() && candidate_ >= plans_[plan_].candidates.size()) {
            ++plan_;
            candidate_ = 0;
        }
        if (plan_ >= plans_.size()) return finish(snapshotFormats(reads_));
        const TargetPlan& plan = plans_[plan_];
        // A target that feeds two formats (image/png) is transferred once.
        for (const ReadFormat& earlier : reads_) {
            if (earlier.target != plan.candidates[candidate_]) continue;
            reads_.push_back({plan.format, earlier.target, earlier.data});
            ++plan_;
            candidate_ = 0;
            return next();
        }
        std::weak_ptr<bool> alive = alive_;
        desktop_.reader_->readTarget(
            plan.candidates[candidate_],
            [this, alive](ReadResult r) {
                if (alive.expired()) return;
                if (r.status == ReadStatus::Ok) {
                    reads_.push_back({plans_[plan_].format, r.target, std::move(r.data)});
                    ++plan_;
                    candidate_ = 0;
                } else if (endsRead(r.status)) {
                    return finish(snapshotFormats(reads_));
                } else {
                    ++candidate_;
                }
                next();
            },
            time_);
    }

    void finish(std::vector<ClipData> formats) {
        // The desktop drops this object in the call.
        X11Desktop& desktop = desktop_;
        const WindowHandle owner = owner_;
        const ProcessId pid = pid_;
        Ref<IDataObject> data = makeMemoryDataObject(std::move(formats));
        desktop.onCaptureRead(owner, pid, std::move(data));
    }

    X11Desktop& desktop_;
    WindowHandle owner_;
    ProcessId pid_;
    XTime time_;
    std::vector<TargetPlan> plans_;
    size_t plan_ = 0;
    size_t candidate_ = 0;
    std::vector<ReadFormat> reads_;
    std::shared_ptr<bool> alive_;
};

X11Desktop::X11Desktop(Connection& connection, X11DesktopOptions options)
    : connection_(connection),
      options_(options),
      started_(std::chrono::steady_clock::now()),
      alive_(std::make_shared<bool>(true)) {
    monitor_ = std::make_unique<SelectionMonitor>(connection_, "CLIPBOARD");
    ReadOptions read;
    read.timeout = options_.readTimeout;
    read.maxBytes = options_.maxTargetBytes;
    reader_ = std::make_unique<SelectionReader>(connection_, "CLIPBOARD", read);
    owner_ = std::make_unique<SelectionOwner>(connection_, "CLIPBOARD");
    owner_->setOnLost([this] { ownData_.reset(); });
    primary_ = std::make_unique<SelectionOwner>(connection_, "PRIMARY");
    injector_ = std::make_unique<KeyInjector>(connection_);
    keyboard_ = std::make_unique<KeyboardGrabs>(connection_);
    focus_ = std::make_unique<FocusTracker>(connection_);
}

X11Desktop::~X11Desktop() {
    alive_.reset();
    capture_.reset();
    focus_.reset();
    keyboard_.reset();
    injector_.reset();
    for (auto& [key, timer] : timers_) connection_.loop().cancelTimer(timer);
}

bool X11Desktop::reading() const { return capture_ != nullptr; }

// ---- windows

bool X11Desktop::isOwn(WindowHandle window) { return (static_cast<uintptr_t>(window) & kOwnBit) != 0; }

const X11Desktop::OwnWindow* X11Desktop::own(WindowHandle window) const {
    auto it = windows_.find(static_cast<uintptr_t>(window));
    return it == windows_.end() ? nullptr : &it->second;
}

XId X11Desktop::xid(WindowHandle window) const {
    return isOwn(window) ? 0 : static_cast<XId>(static_cast<uintptr_t>(window));
}

WindowHandle X11Desktop::createWindow(std::u16string_view className, MessageHandler handler) {
    const uintptr_t handle = kOwnBit | nextWindow_++;
    windows_[handle] = OwnWindow{std::u16string(className), std::move(handler)};
    return static_cast<WindowHandle>(handle);
}

bool X11Desktop::destroyWindow(WindowHandle window) {
    auto it = windows_.find(static_cast<uintptr_t>(window));
    if (it == windows_.end()) return false;
    for (auto t = timers_.begin(); t != timers_.end();) {
        if (t->first.first == it->first) {
            connection_.loop().cancelTimer(t->second);
            t = timers_.erase(t);
        } else {
            ++t;
        }
    }
    if (viewer_ == window) changeClipboardChain(window, kNoWindow);
    windows_.erase(it);
    return true;
}

bool X11Desktop::isWindow(WindowHandle window) const {
    if (window == kNoWindow) return false;
    if (isOwn(window)) return own(window) != nullptr;
    // The program that put the content there may exit as soon as it has been read; the
    // content is still the one it gave, so its window still counts until the content changes.
    if (snapshot_.current && window == snapshot_.owner) return true;
    if (connection_.lost()) return false;
    XWindowAttributes attributes;
    return XGetWindowAttributes(connection_.display(), xid(window), &attributes) != 0;
}

ProcessId X11Desktop::processOf(WindowHandle window) const {
    if (window == kNoWindow) return 0;
    if (isOwn(window) || connection_.isOurWindow(xid(window))) return static_cast<ProcessId>(getpid());
    // A window of this program made through another connection (the user interface's toolkit)
    // is ours too; the focus tracker judges the same way.
    if (!connection_.lost() && claimedProcessId(connection_, xid(window)) == getpid())
        return static_cast<ProcessId>(getpid());
    if (window == snapshot_.owner && snapshot_.ownerProcess != 0) return snapshot_.ownerProcess;
    if (connection_.lost()) return 0;
    return static_cast<ProcessId>(windowProcessId(connection_, xid(window)));
}

WindowThreadProcess X11Desktop::windowThreadProcessId(WindowHandle window) const {
    if (!isWindow(window) && !connection_.isOurWindow(xid(window))) return {};
    // X has no threads of windows; a program's windows share its process, which stands in for
    // the thread too, so "a window of our own thread" means "of our program".
    const ProcessId pid = processOf(window);
    return {pid, pid};
}

std::u16string X11Desktop::className(WindowHandle window, size_t maxChars) const {
    std::u16string name;
    if (const OwnWindow* w = own(window)) {
        name = w->className;
    } else if (window != kNoWindow && !isOwn(window) && !connection_.lost()) {
        name = utf8ToUtf16(windowClass(connection_, xid(window)));
    }
    if (name.size() > maxChars) name.resize(maxChars);
    return name;
}

std::optional<Rect> X11Desktop::windowRect(WindowHandle window) const {
    if (window == kNoWindow || isOwn(window) || connection_.lost()) return std::nullopt;
    Display* d = connection_.display();
    XWindowAttributes a;
    if (XGetWindowAttributes(d, xid(window), &a) == 0) return std::nullopt;
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(d, xid(window), a.root, 0, 0, &x, &y, &child);
    return Rect{x, y, x + a.width, y + a.height};
}

WindowHandle X11Desktop::findWindow(std::u16string_view className) const {
    for (const auto& [handle, w] : windows_)
        if (w.className == className) return static_cast<WindowHandle>(handle);
    return kNoWindow;
}

WindowHandle X11Desktop::foregroundWindow() const {
    if (connection_.lost()) return kNoWindow;
    return static_cast<WindowHandle>(static_cast<uintptr_t>(activeWindow(connection_)));
}

bool X11Desktop::setForegroundWindow(WindowHandle window) {
    if (!isWindow(window) || isOwn(window) || connection_.lost()) return false;
    return activateWindow(connection_, xid(window));
}

std::optional<GuiThreadInfo> X11Desktop::guiThreadInfo(ThreadId thread) const {
    if (thread != 0) return std::nullopt;
    GuiThreadInfo info;
    info.active = info.focus = foregroundWindow();
    return info;
}

ThreadId X11Desktop::currentThreadId() const { return static_cast<ThreadId>(getpid()); }

// ---- messages and timers

intptr_t X11Desktop::sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const OwnWindow* w = own(window);
    if (!w || !w->handler) return 0;
    MessageHandler handler = w->handler;  // the handler may destroy its window
    return handler(message, wParam, lParam);
}

bool X11Desktop::postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!own(window)) return false;
    std::weak_ptr<bool> alive = alive_;
    connection_.loop().post([this, alive, window, message, wParam, lParam] {
        if (!alive.expired()) sendMessage(window, message, wParam, lParam);
    });
    return true;
}

void X11Desktop::replyMessage(intptr_t) {
    // Nobody waits on our messages: the change was read before it was announced.
}

uint32_t X11Desktop::registerWindowMessage(std::u16string_view name) {
    if (name.empty()) return 0;
    auto [it, added] = messages_.try_emplace(std::u16string(name), 0);
    if (added) it->second = 0xC000 + static_cast<uint32_t>(messages_.size() - 1);
    return it->second;
}

bool X11Desktop::setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs) {
    if (!own(window)) return false;
    killTimer(window, id);
    const auto key = std::make_pair(static_cast<uintptr_t>(window), id);
    std::weak_ptr<bool> alive = alive_;
    // Re-armed on each tick, as a periodic timer.
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [this, alive, key, window, id, periodMs, weakTick = std::weak_ptr(tick)] {
        if (alive.expired()) return;
        auto it = timers_.find(key);
        if (it == timers_.end()) return;
        if (auto again = weakTick.lock())
            it->second = connection_.loop().startTimer(std::chrono::milliseconds(periodMs), [again] { (*again)(); });
        sendMessage(window, WM_TIMER, id, 0);
    };
    timers_[key] = connection_.loop().startTimer(std::chrono::milliseconds(periodMs), [tick] { (*tick)(); });
    return true;
}

bool X11Desktop::killTimer(WindowHandle window, uintptr_t id) {
    auto it = timers_.find({static_cast<uintptr_t>(window), id});
    if (it == timers_.end()) return false;
    connection_.loop().cancelTimer(it->second);
    timers_.erase(it);
    return true;
}

// ---- the clipboard: notification and reading

WindowHandle X11Desktop::setClipboardViewer(WindowHandle window) {
    viewer_ = window;
    monitor_->start([this](const SelectionChange& change) { onSelectionChange(change); });
    // Joining tells the new viewer at once, as the engine expects; it ignores that one.
    sendMessage(window, WM_DRAWCLIPBOARD, 0, 0);
    return kNoWindow;  // there is no chain of other viewers to pass anything on to
}

bool X11Desktop::changeClipboardChain(WindowHandle removed, WindowHandle) {
    if (removed != viewer_ || viewer_ == kNoWindow) return false;
    viewer_ = kNoWindow;
    monitor_->stop();
    capture_.reset();
    reader_->cancelAll();
    return true;
}

void X11Desktop::onSelectionChange(const SelectionChange& change) {
    // A newer change makes a read still under way pointless.
    capture_.reset();
    reader_->cancelAll();
    if (change.ours) return;  // our own write: the engine knows
    const bool hadContent = snapshot_.current;
    snapshot_.current = false;
    if (change.kind != SelectionChangeKind::NewOwner || change.owner == 0) {
        // Nobody owns the clipboard now: its owner exited or gave it up.
        if (hadContent && onOwnerGone_) {
            std::weak_ptr<bool> alive = alive_;
            const uint64_t serial = snapshot_.serial;
            connection_.loop().post([this, alive, serial] {
                if (!alive.expired() && onOwnerGone_ && connection_.selectionOwner("CLIPBOARD") == 0)
                    onOwnerGone_(serial);
            });
        }
        return;
    }
    const WindowHandle owner = static_cast<WindowHandle>(static_cast<uintptr_t>(change.owner));
    // Asked now, while the owner surely exists.
    const ProcessId pid = static_cast<ProcessId>(windowProcessId(connection_, change.owner));
    capture_ = std::make_unique<CaptureRead>(*this, owner, pid, change.selectionTimestamp);
    capture_->start();
}

void X11Desktop::onCaptureRead(WindowHandle owner, ProcessId pid, Ref<IDataObject> data) {
    snapshot_.serial = nextSerial_++;
    snapshot_.owner = owner;
    snapshot_.ownerProcess = pid;
    snapshot_.current = true;
    snapshot_.data = std::move(data);
    // The read is over; it is dropped from the loop, not from inside its own callback.
    std::weak_ptr<bool> alive = alive_;
    connection_.loop().post([this, alive, done = capture_.release()] {
        delete done;
        if (!alive.expired()) announceChange();
    });
}

void X11Desktop::announceChange() {
    if (viewer_ != kNoWindow && snapshot_.current) sendMessage(viewer_, WM_DRAWCLIPBOARD, 0, 0);
}

WindowHandle X11Desktop::clipboardOwner() const {
    if (owner_->owns()) return static_cast<WindowHandle>(static_cast<uintptr_t>(owner_->window()));
    return snapshot_.current ? snapshot_.owner : kNoWindow;
}

HResult X11Desktop::oleGetClipboard(IDataObject** out) {
    if (out == nullptr) return E_INVALIDARG;
    Ref<IDataObject> data;
    if (owner_->owns() && ownData_) data = ownData_;
    else if (snapshot_.current && snapshot_.data) data = snapshot_.data;
    else data = makeMemoryDataObject({});
    *out = data.get();
    (*out)->addRef();
    return S_OK;
}

// ---- the clipboard: writing

HResult X11Desktop::oleSetClipboard(IDataObject* data) {
    if (data == nullptr) {
        owner_->disown();
        ownData_.reset();
        return S_OK;
    }
    const std::vector<FormatData> formats = renderForTargets(*data);
    if (!owner_->own(targetsFromWindows(formats))) return CLIPBRD_E_CANT_OPEN;
    data->addRef();
    ownData_ = Ref<IDataObject>(data);
    snapshot_.current = false;
    // Viewers hear of every change, ours too; the engine knows this one is its own.
    if (viewer_ != kNoWindow) sendMessage(viewer_, WM_DRAWCLIPBOARD, 0, 0);
    return S_OK;
}

HResult X11Desktop::oleIsCurrentClipboard(IDataObject* data) const {
    return data != nullptr && owner_->owns() && ownData_.get() == data ? S_OK : S_FALSE;
}

HResult X11Desktop::oleFlushClipboard() {
    if (!owner_->owns()) return S_OK;
    if (handOverToClipboardManager()) return S_OK;
    if (options_.serveAfterExit && serveFromFreshProcess()) return S_OK;
    // Nobody took it: it goes with us.
    return E_FAIL;
}

bool X11Desktop::handOverToClipboardManager() {
    // A clipboard manager that follows the freedesktop convention owns CLIPBOARD_MANAGER and,
    // asked to convert it to SAVE_TARGETS, reads our targets and serves them after we are gone.
    Display* d = connection_.display();
    if (connection_.lost() || connection_.selectionOwner("CLIPBOARD_MANAGER") == 0) return false;
    const XId window = connection_.createWindow();
    if (window == 0) return false;
    const XAtom property = connection_.atom("QUILLET_SAVE_TARGETS");
    XConvertSelection(d, connection_.atom("CLIPBOARD_MANAGER"), connection_.atom("SAVE_TARGETS"), property, window,
                      connection_.serverTime(window));
    connection_.flush();
    // The manager reads our targets meanwhile, so our events keep being handled.
    bool answered = false, saved = false;
    const Connection::HandlerId handler = connection_.addEventHandler([&](const XEvent& e) {
        // A manager that refuses (no property) has not taken the content.
        if (e.type == SelectionNotify && e.xselection.requestor == window) {
            answered = true;
            saved = e.xselection.property != None;
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + options_.saveTargetsTimeout;
    while (!answered && !connection_.lost() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{connection_.fd(), POLLIN, 0};
        ::poll(&p, 1, 20);
        connection_.processPendingEvents();
    }
    connection_.removeEventHandler(handler);
    connection_.destroyWindow(window);
    return saved;
}

bool X11Desktop::serveFromFreshProcess() {
    const std::vector<TargetData> targets = owner_->targets();
    if (targets.empty() || connection_.lost()) return false;
    const pid_t server =
        startExitServer(options_.exitServerCommand, {"x11", DisplayString(connection_.display())}, targets);
    if (server < 0) return false;
    // It has taken over once the clipboard is taken from us; until then the content stays
    // served by us, and the program's loop has stopped, so the connection is driven from here.
    return awaitExitServer(
        server, options_.exitServerTimeout, [&] { return owner_->owns() && !connection_.lost(); },
        [&](int ms) {
            pollfd p{connection_.fd(), POLLIN, 0};
            ::poll(&p, 1, ms);
            connection_.processPendingEvents();
        });
}

// ---- processes

ProcessHandle X11Desktop::openProcess(ProcessId process) {
    if (process == 0) return ProcessHandle{};
    std::error_code ec;
    if (!std::filesystem::exists("/proc/" + std::to_string(process), ec)) return ProcessHandle{};
    return static_cast<ProcessHandle>(process);
}

uint32_t X11Desktop::waitForInputIdle(ProcessHandle process, uint32_t) {
    // The content was read completely before the change was announced: nothing to wait for.
    return process == ProcessHandle{} ? kWaitFailed : kWaitIdle;
}

void X11Desktop::closeProcess(ProcessHandle) {}

std::u16string X11Desktop::processExecutablePath(ProcessId process) const {
    if (process == 0) return {};
    return utf8ToUtf16(x11::processExecutablePath(static_cast<pid_t>(process)));
}

// ---- input

bool X11Desktop::isKeyDown(uint32_t vk) const {
    // Inside the hook the modifiers count as they were before the event, as the hook's rules want.
    if (std::optional<bool> held = keyboard_->heldBeforeEvent(vk)) return *held;
    return injector_->isKeyDown(vk);
}

uint32_t X11Desktop::sendInput(std::span<const KeyboardInput> records) {
    // The keys reach the window with the focus; its program decides which chord pastes.
    const XId target = connection_.lost() ? 0 : activeWindow(connection_);
    const std::string wmClass = target != 0 ? windowClass(connection_, target) : std::string();
    if (pastesPrimary(wmClass) && owner_->owns()) primary_->own(owner_->targets());
    const std::vector<KeyboardInput> keys = adaptPasteKeys(records, wmClass);
    return injector_->inject(keys) == keys.size() ? static_cast<uint32_t>(records.size()) : 0;
}
// X has no hook that sees every key before the programs do: the hook grabs the chords it is told.
HookHandle X11Desktop::setKeyboardHook(KeyboardHookProc proc) {
    if (keyboard_->installed() || !keyboard_->install(std::move(proc))) return HookHandle{};
    return kKeyboardHook;
}
void X11Desktop::setHookKeys(std::span<const KeyChord> keys) { keyboard_->setKeys(keys); }
void X11Desktop::setOnShortcutRefused(std::function<void(const KeyChord&)> onRefused) {
    keyboard_->setOnRefused(std::move(onRefused));
}
HookHandle X11Desktop::setMouseHook(MouseHookProc) { return HookHandle{}; }
bool X11Desktop::unhook(HookHandle hook) {
    if (hook != kKeyboardHook || !keyboard_->installed()) return false;
    keyboard_->remove();
    return true;
}
intptr_t X11Desktop::callNextKeyboardHook(HookHandle, int, uint32_t, const KeyboardEvent&) { return 0; }
intptr_t X11Desktop::callNextMouseHook(HookHandle, int, uint32_t, const MouseEvent&) { return 0; }

// ---- time

uint32_t X11Desktop::tickCount() const {
    const auto since = std::chrono::steady_clock::now() - started_;
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::time_t X11Desktop::currentTime() const { return std::time(nullptr); }

void X11Desktop::sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

FocusHelper& X11Desktop::focusHelper() { return *focus_; }

}  // namespace platform::x11
