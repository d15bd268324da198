#include "platform/clipboard_snapshot.h"

#include <cstring>

#include "platform/clipboard_formats.h"
#include "platform/global_memory.h"

namespace platform {

namespace {

class MemoryDataObject final : public RefCounted<IDataObject> {
public:
    explicit MemoryDataObject(std::vector<ClipData> formats) : formats_(std::move(formats)) {}

    HResult queryGetData(const FormatEtc* request) override {
        if (request == nullptr) return E_INVALIDARG;
        return find(*request) ? S_OK : DV_E_FORMATETC;
    }

    HResult getData(const FormatEtc* request, StgMedium* medium) override {
        if (request == nullptr || medium == nullptr) return E_INVALIDARG;
        ClipData* entry = find(*request);
        if (!entry) return DV_E_FORMATETC;
        if (entry->make) {
            std::optional<std::string> made = entry->make(entry->bytes);
            if (!made) return DV_E_FORMATETC;
            entry->bytes = std::move(*made);
            entry->make = nullptr;
        }
        const GlobalHandle block = globalAlloc(entry->bytes.size());
        if (block == GlobalHandle{}) return E_OUTOFMEMORY;
        if (!entry->bytes.empty()) {
            GlobalLockGuard lock(block);
            std::memcpy(lock.get(), entry->bytes.data(), entry->bytes.size());
        }
        *medium = StgMedium{};
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }

    HResult getDataHere(const FormatEtc*, StgMedium*) override { return E_NOTIMPL; }

    HResult enumFormatEtc(uint32_t direction, IEnumFormatEtc** out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<FormatEtc> entries;
        for (const ClipData& d : formats_) {
            FormatEtc f;
            f.cfFormat = d.format;
            f.tymed = TYMED_HGLOBAL;
            entries.push_back(f);
        }
        return createStdEnumFormatEtc(entries, out);
    }

private:
    // A request without a medium asks only whether the format is there.
    ClipData* find(const FormatEtc& request) {
        if (request.tymed != TYMED_NULL && (request.tymed & TYMED_HGLOBAL) == 0) return nullptr;
        for (ClipData& d : formats_)
            if (d.format == request.cfFormat) return &d;
        return nullptr;
    }

    std::vector<ClipData> formats_;
};

}  // namespace

Ref<IDataObject> makeMemoryDataObject(std::vector<ClipData> formats) {
    return Ref<IDataObject>(new MemoryDataObject(std::move(formats)));
}

namespace {
std::optional<std::string> dibFromPng(std::string_view png) { return imageToDib(target::kPng, png); }
}  // namespace

std::vector<ClipData> snapshotFormats(std::span<const ReadFormat> reads) {
    std::vector<ClipData> out;
    for (const ReadFormat& read : reads) {
        // The target that feeds "PNG" is a PNG file: its pixels wait until they are asked for.
        if (read.format == WinFormat::Dib && toWindows(WinFormat::Png, read.target, {})) {
            out.push_back({CF_DIB, read.data, &dibFromPng});
            continue;
        }
        std::optional<std::string> bytes = toWindows(read.format, read.target, read.data);
        if (!bytes) continue;
        const bool text = read.format == WinFormat::UnicodeText;
        std::string ansi = text ? unicodeTextToAnsiText(*bytes) : std::string();
        out.push_back({clipFormat(read.format), std::move(*bytes)});
        if (text) out.push_back({CF_TEXT, std::move(ansi)});
    }
    return out;
}

std::vector<FormatData> renderForTargets(IDataObject& data) {
    std::vector<FormatData> out;
    Ref<IEnumFormatEtc> formats;
    if (failed(data.enumFormatEtc(DATADIR_GET, formats.out())) || !formats) return out;
    FormatEtc offered;
    uint32_t fetched = 0;
    while (formats->next(1, &offered, &fetched) == S_OK && fetched == 1) {
        const std::optional<WinFormat> format = winFormatOf(offered.cfFormat);
        if (!format || (offered.tymed & TYMED_HGLOBAL) == 0) continue;
        bool seen = false;
        for (const FormatData& f : out) seen = seen || f.format == *format;
        if (seen) continue;
        FormatEtc request = offered;
        request.tymed = TYMED_HGLOBAL;
        StgMedium medium;
        if (failed(data.getData(&request, &medium))) continue;
        if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != GlobalHandle{}) {
            const size_t size = globalSize(medium.hGlobal);
            GlobalLockGuard lock(medium.hGlobal);
            if (size == 0) out.push_back({*format, std::string()});
            else if (lock.get() != nullptr)
                out.push_back({*format, std::string(static_cast<const char*>(lock.get()), size)});
        }
        releaseStgMedium(medium);
    }
    return out;
}

}  // namespace platform
