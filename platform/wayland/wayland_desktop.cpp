#include "platform/wayland/wayland_desktop.h"

#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/clipboard_conversions.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_snapshot.h"
#include "platform/exit_server.h"
#include "platform/text_codec.h"
#include "platform/wayland/data_control.h"
#include "platform/wayland/pipe_transfer.h"
#include "platform/wayland/virtual_keyboard.h"

namespace platform::wayland {

// Wayland names no window that has the focus; the client that has it is the one target.
class WaylandDesktop::FocusedClient final : public FocusHelper {
public:
    int32_t initialize(WindowHandle, WindowHandle) override { return 1; }
    int32_t uninitialize() override { return 1; }
    void updateTrayWindow(WindowHandle) override {}
    WindowHandle globalFocusWindow() const override { return kFocusedClient; }
};

// One read of a new offer: our tag or the password hint, then each wanted format, trying a
// format's MIME types best first, one pipe at a time.
class WaylandDesktop::CaptureRead {
public:
    CaptureRead(WaylandDesktop& desktop, DataOffer& offer) : desktop_(desktop), offer_(offer) {}

    void start() {
        const std::vector<std::string>& offered = offer_.mimeTypes();
        if (offersQuilletTag(offered)) return finish({{registeredFormats().quilletTag, std::string()}});
        plans_ = planRead(offered);
        if (std::optional<std::string> hint = passwordHintTarget(offered)) {
            return read(*hint, [this](TransferStatus status, std::string data) {
                // A password manager asks clipboard history to leave its data alone: the data
                // is not even read.
                if (status == TransferStatus::Ok && isSecretHint(data))
                    return finish({{registeredFormats().clipboardViewerIgnore, std::string()}});
                if (status == TransferStatus::Timeout) return finish({});
                next();
            });
        }
        next();
    }

private:
    void next() {
        while (plan_ < plans_.size() && candidate_ >= plans_[plan_].candidates.size()) {
            ++plan_;
            candidate_ = 0;
        }
        if (plan_ >= plans_.size()) return finish(snapshotFormats(reads_));
        // A MIME type that feeds two formats (image/png) is transferred once.
        for (const ReadFormat& earlier : reads_) {
            if (earlier.target != plans_[plan_].candidates[candidate_]) continue;
            reads_.push_back({plans_[plan_].format, earlier.target, earlier.data});
            ++plan_;
            candidate_ = 0;
            return next();
        }
        read(plans_[plan_].candidates[candidate_], [this](TransferStatus status, std::string data) {
            if (status == TransferStatus::Ok && !data.empty()) {
                reads_.push_back({plans_[plan_].format, plans_[plan_].candidates[candidate_], std::move(data)});
                ++plan_;
                candidate_ = 0;
            } else if (status == TransferStatus::Timeout) {
                // An owner that stops answering is not asked again: each request would cost
                // another full time limit.
                return finish(snapshotFormats(reads_));
            } else {
                ++candidate_;
            }
            next();
        });
    }

    void read(const std::string& mimeType, PipeRead::Done done) {
        const Pipe pipe = makePipe();
        if (pipe.read < 0) return finish(snapshotFormats(reads_));
        offer_.receive(mimeType, pipe.write);
        close(pipe.write);  // the owner has its copy; our end must close for the read to end
        // Replacing the finished read destroys it inside its own callback, which it allows.
        pipe_ = std::make_unique<PipeRead>(desktop_.connection_.poller(), desktop_.connection_.loop(), pipe.read,
                                           desktop_.options_.maxTargetBytes, desktop_.options_.readTimeout,
                                           std::move(done));
    }

    void finish(std::vector<ClipData> formats) { desktop_.onCaptureRead(makeMemoryDataObject(std::move(formats))); }

    WaylandDesktop& desktop_;
    DataOffer& offer_;
    std::vector<TargetPlan> plans_;
    size_t plan_ = 0;
    size_t candidate_ = 0;
    std::vector<ReadFormat> reads_;
    std::unique_ptr<PipeRead> pipe_;
};

WaylandDesktop::WaylandDesktop(WaylandConnection& connection, WaylandDesktopOptions options)
    : connection_(connection),
      options_(std::move(options)),
      started_(std::chrono::steady_clock::now()),
      windows_(connection.loop()),
      focus_(std::make_unique<FocusedClient>()),
      alive_(std::make_shared<bool>(true)) {
    DataDevice::Handlers handlers;
    handlers.onSelection = [this](std::unique_ptr<DataOffer> offer) { onSelection(std::move(offer)); };
    device_ = makeDataDevice(connection_, std::move(handlers));
    keyboard_ = VirtualKeyboard::create(connection_);
}

WaylandDesktop::~WaylandDesktop() {
    alive_.reset();
    capture_.reset();
    writes_.clear();
    ownSource_.reset();
    offer_.reset();
    keyboard_.reset();
    device_.reset();
}

// ---- windows: ours are objects of this program; the one of another client is the focused one

WindowHandle WaylandDesktop::createWindow(std::u16string_view className, MessageHandler handler) {
    return windows_.create(className, std::move(handler));
}

bool WaylandDesktop::destroyWindow(WindowHandle window) {
    if (!windows_.exists(window)) return false;
    if (viewer_ == window) changeClipboardChain(window, kNoWindow);
    return windows_.destroy(window);
}

bool WaylandDesktop::isWindow(WindowHandle window) const {
    return window == kFocusedClient || windows_.exists(window);
}

WindowThreadProcess WaylandDesktop::windowThreadProcessId(WindowHandle window) const {
    // Our windows are our process's; which process another client runs in is not told.
    if (windows_.exists(window)) return {currentThreadId(), static_cast<ProcessId>(getpid())};
    return {};
}

std::u16string WaylandDesktop::className(WindowHandle window, size_t maxChars) const {
    std::u16string name = windows_.className(window);
    if (name.size() > maxChars) name.resize(maxChars);
    return name;
}

std::optional<Rect> WaylandDesktop::windowRect(WindowHandle) const { return std::nullopt; }

WindowHandle WaylandDesktop::findWindow(std::u16string_view className) const { return windows_.find(className); }

WindowHandle WaylandDesktop::foregroundWindow() const { return kFocusedClient; }

bool WaylandDesktop::setForegroundWindow(WindowHandle window) {
    // Only the compositor moves the focus; the focused client is already in front.
    return window == kFocusedClient;
}

std::optional<GuiThreadInfo> WaylandDesktop::guiThreadInfo(ThreadId thread) const {
    if (thread != 0) return std::nullopt;
    GuiThreadInfo info;
    info.active = info.focus = kFocusedClient;
    return info;
}

ThreadId WaylandDesktop::currentThreadId() const { return static_cast<ThreadId>(getpid()); }

// ---- messages and timers

intptr_t WaylandDesktop::sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return windows_.send(window, message, wParam, lParam);
}

bool WaylandDesktop::postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return windows_.post(window, message, wParam, lParam);
}

void WaylandDesktop::replyMessage(intptr_t) {
    // Nobody waits on our messages: the change was read before it was announced.
}

uint32_t WaylandDesktop::registerWindowMessage(std::u16string_view name) { return windows_.registerMessage(name); }

bool WaylandDesktop::setTimer(WindowHandle window, uintptr_t id, uint32_t periodMs) {
    return windows_.setTimer(window, id, periodMs);
}

bool WaylandDesktop::killTimer(WindowHandle window, uintptr_t id) { return windows_.killTimer(window, id); }

// ---- the clipboard: notification and reading

WindowHandle WaylandDesktop::setClipboardViewer(WindowHandle window) {
    viewer_ = window;
    // Joining tells the new viewer at once, as the engine expects; it ignores that one.
    sendMessage(window, WM_DRAWCLIPBOARD, 0, 0);
    return kNoWindow;  // there is no chain of other viewers
}

bool WaylandDesktop::changeClipboardChain(WindowHandle removed, WindowHandle) {
    if (removed != viewer_ || viewer_ == kNoWindow) return false;
    viewer_ = kNoWindow;
    capture_.reset();
    return true;
}

void WaylandDesktop::onSelection(std::unique_ptr<DataOffer> offer) {
    if (!offer) {
        // The clipboard is empty: its owner went away or gave it up.
        clipboardEmpty_ = true;
        // What it wrote into a read under way still arrives through the pipe; the read ends
        // (and is announced) first, and the owner's leaving is told after its content.
        if (capture_ || announcing_) {
            ownerLeftDuringRead_ = true;
            return;
        }
        // The content read stays readable until then: a capture of it may be on its way.
        if (snapshot_.current) tellOwnerGone(snapshot_.serial);
        return;
    }
    clipboardEmpty_ = false;
    ownerLeftDuringRead_ = false;
    // A newer content makes a read still under way pointless.
    capture_.reset();
    snapshot_.current = false;
    offer_ = std::move(offer);
    // Our own write coming back: the engine knows it already.
    if (ownSource_ && offersQuilletTag(offer_->mimeTypes())) return;
    if (viewer_ == kNoWindow) return;
    capture_ = std::make_unique<CaptureRead>(*this, *offer_);
    capture_->start();
}

void WaylandDesktop::onCaptureRead(Ref<IDataObject> data) {
    snapshot_.serial = nextSerial_++;
    snapshot_.current = true;
    snapshot_.data = std::move(data);
    announcing_ = true;
    // The read is over; it is dropped from the loop, not from inside its own callback.
    std::weak_ptr<bool> alive = alive_;
    connection_.loop().post([this, alive, done = capture_.release()] {
        delete done;
        if (alive.expired()) return;
        announcing_ = false;
        announceChange();
        if (std::exchange(ownerLeftDuringRead_, false)) tellOwnerGone(snapshot_.serial);
    });
}

void WaylandDesktop::tellOwnerGone(uint64_t serial) {
    // After what the announcement set off (the engine's capture is a posted message).
    std::weak_ptr<bool> alive = alive_;
    connection_.loop().post([this, alive, serial] {
        if (alive.expired() || !clipboardEmpty_ || ownSource_ || snapshot_.serial != serial) return;
        snapshot_.current = false;
        if (onOwnerGone_) onOwnerGone_(serial);
    });
}

void WaylandDesktop::announceChange() {
    if (viewer_ != kNoWindow && snapshot_.current) sendMessage(viewer_, WM_DRAWCLIPBOARD, 0, 0);
}

WindowHandle WaylandDesktop::clipboardOwner() const {
    // Wayland does not tell which client offers the content.
    return kNoWindow;
}

HResult WaylandDesktop::oleGetClipboard(IDataObject** out) {
    if (out == nullptr) return E_INVALIDARG;
    Ref<IDataObject> data;
    if (ownSource_ && ownData_) data = ownData_;
    else if (snapshot_.current && snapshot_.data) data = snapshot_.data;
    else data = makeMemoryDataObject({});
    *out = data.get();
    (*out)->addRef();
    return S_OK;
}

// ---- the clipboard: writing

HResult WaylandDesktop::oleSetClipboard(IDataObject* data) {
    if (!device_) return CLIPBRD_E_CANT_OPEN;
    if (data == nullptr) {
        device_->setSelection(nullptr);
        dropOwnContent();
        return S_OK;
    }
    std::map<std::string, std::shared_ptr<const std::string>> targets;
    std::vector<std::string> mimeTypes;
    for (TargetData& t : targetsFromWindows(renderForTargets(*data))) {
        auto bytes = std::make_shared<const std::string>(std::move(t.bytes));
        if (!targets.try_emplace(t.target, bytes).second) continue;
        mimeTypes.push_back(t.target);
    }
    std::weak_ptr<bool> alive = alive_;
    auto which = std::make_shared<DataSource*>(nullptr);
    std::unique_ptr<DataSource> source = device_->createSource(
        mimeTypes,
        [this, alive](const std::string& mimeType, int fd) {
            if (alive.expired()) return void(close(fd));
            serve(mimeType, fd);
        },
        [this, alive, which] {
            // Another content replaced ours.
            if (!alive.expired() && ownSource_.get() == *which) dropOwnContent();
        });
    *which = source.get();
    device_->setSelection(source.get());
    // Set first, then the old source goes: the clipboard is never empty in between.
    std::unique_ptr<DataSource> old = std::exchange(ownSource_, std::move(source));
    old.reset();
    ownTargets_ = std::move(targets);
    ownMimeTypes_ = std::move(mimeTypes);
    data->addRef();
    ownData_ = Ref<IDataObject>(data);
    snapshot_.current = false;
    clipboardEmpty_ = false;
    // Viewers hear of every change, ours too; the engine knows this one is its own.
    if (viewer_ != kNoWindow) sendMessage(viewer_, WM_DRAWCLIPBOARD, 0, 0);
    return S_OK;
}

void WaylandDesktop::serve(const std::string& mimeType, int fd) {
    auto it = ownTargets_.find(mimeType);
    if (it == ownTargets_.end()) return void(close(fd));
    const uint64_t id = nextWrite_++;
    std::weak_ptr<bool> alive = alive_;
    writes_[id] = std::make_unique<PipeWrite>(connection_.poller(), connection_.loop(), fd, it->second,
                                              options_.writeTimeout, [this, alive, id](TransferStatus) {
                                                  // Destroys the write inside its own callback,
                                                  // which it allows.
                                                  if (!alive.expired()) writes_.erase(id);
                                              });
}

void WaylandDesktop::dropOwnContent() {
    ownSource_.reset();
    ownMimeTypes_.clear();
    ownTargets_.clear();
    ownData_.reset();
}

HResult WaylandDesktop::oleIsCurrentClipboard(IDataObject* data) const {
    return data != nullptr && ownSource_ && ownData_.get() == data ? S_OK : S_FALSE;
}

HResult WaylandDesktop::oleFlushClipboard() {
    // Our source ends with the connection: a process of its own takes the content over.
    if (!ownSource_) return S_OK;
    if (!options_.serveAfterExit || connection_.lost()) return E_FAIL;
    std::vector<TargetData> targets;
    for (const std::string& mimeType : ownMimeTypes_)
        if (auto it = ownTargets_.find(mimeType); it != ownTargets_.end()) targets.push_back({mimeType, *it->second});
    const pid_t server = startExitServer(options_.exitServerCommand, {"wayland", connection_.displayName()}, targets);
    if (server < 0) return E_FAIL;
    // Until it has taken the clipboard (our source is cancelled then), the content stays ours
    // to serve; the program's loop has stopped, so the connection is driven from here.
    const bool taken = awaitExitServer(
        server, options_.handOverTimeout, [&] { return ownSource_ && !connection_.lost(); },
        [&](int ms) {
            pollfd p{connection_.poller().fd(), POLLIN, 0};
            ::poll(&p, 1, ms);
            connection_.processPendingEvents();
        });
    return taken && !connection_.lost() ? S_OK : E_FAIL;
}

// ---- processes: Wayland names no client's process

ProcessHandle WaylandDesktop::openProcess(ProcessId process) {
    if (process == 0) return ProcessHandle{};
    std::error_code ec;
    if (!std::filesystem::exists("/proc/" + std::to_string(process), ec)) return ProcessHandle{};
    return static_cast<ProcessHandle>(process);
}

uint32_t WaylandDesktop::waitForInputIdle(ProcessHandle process, uint32_t) {
    return process == ProcessHandle{} ? kWaitFailed : kWaitIdle;
}

void WaylandDesktop::closeProcess(ProcessHandle) {}

std::u16string WaylandDesktop::processExecutablePath(ProcessId process) const {
    if (process == 0) return {};
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/" + std::to_string(process) + "/exe", ec);
    return ec ? std::u16string() : utf8ToUtf16(exe.string());
}

// ---- input

bool WaylandDesktop::isKeyDown(uint32_t) const {
    // Wayland tells a client the keys only while it has the focus.
    return false;
}

uint32_t WaylandDesktop::sendInput(std::span<const KeyboardInput> records) {
    if (keyboard_ && keyboard_->type(records)) return static_cast<uint32_t>(records.size());
    if (!keyboard_ && !toldAboutPaste_ && options_.notice) {
        toldAboutPaste_ = true;
        options_.notice(
            "this compositor lets no program type keys (it offers no virtual keyboard): a record is "
            "put on the clipboard, and you paste it with Ctrl+V.");
    }
    return 0;
}

// Wayland has no hook that sees every key; the program's shortcuts are the desktop's to bind.
HookHandle WaylandDesktop::setKeyboardHook(KeyboardHookProc) { return HookHandle{}; }
HookHandle WaylandDesktop::setMouseHook(MouseHookProc) { return HookHandle{}; }
bool WaylandDesktop::unhook(HookHandle) { return false; }
intptr_t WaylandDesktop::callNextKeyboardHook(HookHandle, int, uint32_t, const KeyboardEvent&) { return 0; }
intptr_t WaylandDesktop::callNextMouseHook(HookHandle, int, uint32_t, const MouseEvent&) { return 0; }

// ---- time

uint32_t WaylandDesktop::tickCount() const {
    const auto since = std::chrono::steady_clock::now() - started_;
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::time_t WaylandDesktop::currentTime() const { return std::time(nullptr); }

void WaylandDesktop::sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

FocusHelper& WaylandDesktop::focusHelper() { return *focus_; }

}  // namespace platform::wayland
