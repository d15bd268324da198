// The simulated clipboard and its viewer chain.

#include <cstring>
#include <new>

#include "platform/global_memory.h"
#include "platform/sim/sim_desktop.h"

namespace platform::sim {

namespace {

using ClipEntry = SimDesktop::ClipEntry;

bool sameFormatOn(const ClipEntry& entry, const FormatEtc& request) {
    return entry.format.cfFormat == request.cfFormat && (entry.format.tymed & request.tymed) != 0;
}

// What a program gets when it opens the clipboard: the formats listed at that moment. Data a
// program put there is rendered from its bytes; data our program put there is rendered by our
// own data object, as the desktop asks the owner to render a format when a reader wants it.
class ClipboardReader final : public RefCounted<IDataObject> {
public:
    ClipboardReader(std::vector<ClipEntry> entries, Ref<IDataObject> source)
        : entries_(std::move(entries)), source_(std::move(source)) {}

    HResult queryGetData(const FormatEtc* request) override {
        if (request == nullptr) return E_INVALIDARG;
        // A request without a medium asks only whether the format is there at all.
        for (const ClipEntry& e : entries_)
            if (e.format.cfFormat == request->cfFormat &&
                (request->tymed == TYMED_NULL || (e.format.tymed & request->tymed) != 0))
                return S_OK;
        return DV_E_FORMATETC;
    }

    HResult getData(const FormatEtc* request, StgMedium* medium) override {
        if (request == nullptr || medium == nullptr) return E_INVALIDARG;
        const ClipEntry* entry = find(*request);
        if (!entry) return DV_E_FORMATETC;
        if (source_) {
            FormatEtc exact = *request;
            exact.tymed = entry->format.tymed;
            return source_->getData(&exact, medium);
        }
        if (entry->readError != S_OK) return entry->readError;
        if (entry->format.tymed != TYMED_HGLOBAL || !entry->bytes) return E_FAIL;
        const GlobalHandle block = globalAlloc(entry->bytes->size());
        if (block == GlobalHandle{}) return E_OUTOFMEMORY;
        if (!entry->bytes->empty()) {
            GlobalLockGuard lock(block);
            std::memcpy(lock.get(), entry->bytes->data(), entry->bytes->size());
        }
        *medium = StgMedium{};
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }

    HResult getDataHere(const FormatEtc* request, StgMedium* medium) override {
        if (request == nullptr || medium == nullptr) return E_INVALIDARG;
        const ClipEntry* entry = find(*request);
        if (!entry) return DV_E_FORMATETC;
        return source_ ? source_->getDataHere(request, medium) : E_NOTIMPL;
    }

    HResult enumFormatEtc(uint32_t direction, IEnumFormatEtc** out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<FormatEtc> formats;
        for (const ClipEntry& e : entries_) formats.push_back(e.format);
        return createStdEnumFormatEtc(formats, out);
    }

private:
    const ClipEntry* find(const FormatEtc& request) const {
        for (const ClipEntry& e : entries_)
            if (sameFormatOn(e, request)) return &e;
        return nullptr;
    }

    std::vector<ClipEntry> entries_;
    Ref<IDataObject> source_;
};

std::string bytesOf(GlobalHandle block) {
    GlobalLockGuard lock(block);
    if (!lock) return {};
    return std::string(static_cast<const char*>(lock.get()), globalSize(block));
}

}  // namespace

ClipboardOffer bytesOffer(ClipFormat format, std::string bytes) {
    ClipboardOffer offer;
    offer.format = format;
    offer.bytes = std::move(bytes);
    return offer;
}

ClipboardOffer unicodeTextOffer(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    bytes.append(2, '\0');
    return bytesOffer(13, std::move(bytes));
}

ClipboardOffer ansiTextOffer(std::string_view text) {
    std::string bytes(text);
    bytes.push_back('\0');
    return bytesOffer(1, std::move(bytes));
}

ClipboardOffer unreadableOffer(ClipFormat format, uint32_t tymed) {
    ClipboardOffer offer;
    offer.format = format;
    offer.tymed = tymed;
    offer.readError = E_FAIL;
    return offer;
}

// ---- the viewer chain

WindowHandle SimDesktop::join(WindowHandle viewer) {
    const WindowHandle previous = chainHead_;
    chainHead_ = viewer;
    if (Window* w = window(viewer); w && !w->handler) w->nextViewer = previous;
    sendMessage(viewer, WM_DRAWCLIPBOARD, 0, 0);
    return previous;
}

WindowHandle SimDesktop::setClipboardViewer(WindowHandle viewer) {
    log("setClipboardViewer");
    if (!isWindow(viewer)) return kNoWindow;
    return join(viewer);
}

bool SimDesktop::changeClipboardChain(WindowHandle removed, WindowHandle next) {
    log("changeClipboardChain");
    if (chainHead_ == removed) {
        chainHead_ = next;
        return true;
    }
    sendMessage(chainHead_, WM_CHANGECBCHAIN, windowParam(removed),
                static_cast<intptr_t>(windowParam(next)));
    return true;
}

WindowHandle SimDesktop::addViewer(ProcessId pid, bool passesOn) {
    const WindowHandle viewer = addWindow(pid, u"ClipboardViewer", kNoWindow, Rect{});
    Window* w = window(viewer);
    if (!w) return kNoWindow;
    w->viewer = true;
    w->passesOn = passesOn;
    join(viewer);
    return viewer;
}

unsigned SimDesktop::drawNotifications(WindowHandle viewer) const {
    auto it = windows_.find(static_cast<uintptr_t>(viewer));
    return it == windows_.end() ? 0 : it->second.draws;
}

WindowHandle SimDesktop::viewerChainHead() const { return chainHead_; }

void SimDesktop::notifyViewers() { sendMessage(chainHead_, WM_DRAWCLIPBOARD, 0, 0); }

// ---- the clipboard

WindowHandle SimDesktop::oleWindow() {
    if (!isWindow(oleWindow_))
        oleWindow_ = newWindow(ownPid_, u"CLIPBRDWNDCLASS", kNoWindow, Rect{}, nullptr);
    return oleWindow_;
}

void SimDesktop::copy(WindowHandle owner, std::vector<ClipboardOffer> offers) {
    clipSource_.reset();
    clip_.clear();
    for (ClipboardOffer& offer : offers) {
        ClipEntry entry;
        entry.format.cfFormat = offer.format;
        entry.format.tymed = offer.tymed;
        entry.bytes = std::make_shared<const std::string>(std::move(offer.bytes));
        entry.readError = offer.readError;
        clip_.push_back(std::move(entry));
    }
    clipOwner_ = owner;
    notifyViewers();
}

WindowHandle SimDesktop::clipboardOwner() const { return clipOwner_; }

HResult SimDesktop::oleGetClipboard(IDataObject** out) {
    log("oleGetClipboard");
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (failOpens_ > 0) {
        --failOpens_;
        return CLIPBRD_E_CANT_OPEN;
    }
    *out = new (std::nothrow) ClipboardReader(clip_, clipSource_);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HResult SimDesktop::oleSetClipboard(IDataObject* data) {
    log("oleSetClipboard");
    if (failWrites_) return CLIPBRD_E_CANT_OPEN;
    std::vector<ClipEntry> entries;
    if (data) {
        // The desktop learns the formats once, when the data is put there.
        Ref<IEnumFormatEtc> formats;
        if (failed(data->enumFormatEtc(DATADIR_GET, formats.out())) || !formats) return E_FAIL;
        FormatEtc format;
        uint32_t fetched = 0;
        while (formats->next(1, &format, &fetched) == S_OK && fetched == 1) {
            ClipEntry entry;
            entry.format = format;
            entries.push_back(std::move(entry));
        }
        data->addRef();
    }
    clipSource_ = Ref<IDataObject>(data);
    clip_ = std::move(entries);
    clipOwner_ = oleWindow();
    notifyViewers();
    return S_OK;
}

HResult SimDesktop::oleFlushClipboard() {
    log("oleFlushClipboard");
    if (!clipSource_) return S_OK;
    for (ClipEntry& entry : clip_) {
        StgMedium medium;
        const HResult hr = clipSource_->getData(&entry.format, &medium);
        if (succeeded(hr) && medium.tymed == TYMED_HGLOBAL) {
            entry.bytes = std::make_shared<const std::string>(bytesOf(medium.hGlobal));
        } else {
            // Kept only as global memory; anything else is gone with its renderer.
            entry.readError = succeeded(hr) ? E_FAIL : hr;
        }
        releaseStgMedium(medium);
    }
    clipSource_.reset();
    return S_OK;
}

HResult SimDesktop::oleIsCurrentClipboard(IDataObject* data) const {
    return data != nullptr && clipSource_.get() == data ? S_OK : S_FALSE;
}

std::vector<FormatEtc> SimDesktop::clipboardFormats() const {
    std::vector<FormatEtc> formats;
    for (const ClipEntry& e : clip_) formats.push_back(e.format);
    return formats;
}

std::optional<std::string> SimDesktop::readClipboard(ClipFormat format, uint32_t tymed) {
    Ref<IDataObject> reader(new ClipboardReader(clip_, clipSource_));
    FormatEtc request;
    request.cfFormat = format;
    request.tymed = tymed;
    StgMedium medium;
    if (failed(reader->getData(&request, &medium))) return std::nullopt;
    std::optional<std::string> bytes;
    if (medium.tymed == TYMED_HGLOBAL) bytes = bytesOf(medium.hGlobal);
    releaseStgMedium(medium);
    return bytes;
}

void SimDesktop::failClipboardOpens(unsigned n) { failOpens_ = n; }
void SimDesktop::failClipboardWrites(bool fail) { failWrites_ = fail; }
IDataObject* SimDesktop::clipboardDataObject() const { return clipSource_.get(); }

}  // namespace platform::sim
