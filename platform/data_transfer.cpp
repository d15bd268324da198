#include "platform/data_transfer.h"

#include <new>
#include <vector>

#include "platform/structured_storage.h"

namespace platform {

void releaseStgMedium(StgMedium& medium) {
    // With a release owner the handle belongs to that owner; interfaces are released either way,
    // as each carries its own reference.
    const bool owned = medium.pUnkForRelease == nullptr;
    switch (medium.tymed) {
        case TYMED_HGLOBAL:
            if (owned && medium.hGlobal != GlobalHandle{}) globalFree(medium.hGlobal);
            break;
        case TYMED_GDI:
            if (owned && medium.hBitmap != BitmapHandle{}) deleteObject(medium.hBitmap);
            break;
        case TYMED_ENHMF:
            if (owned && medium.hEnhMetaFile != EnhMetaFileHandle{})
                deleteEnhMetaFile(medium.hEnhMetaFile);
            break;
        case TYMED_ISTREAM:
            if (medium.pstm) medium.pstm->release();
            break;
        case TYMED_ISTORAGE:
            if (medium.pstg) medium.pstg->release();
            break;
        default:
            break;
    }
    if (medium.pUnkForRelease) medium.pUnkForRelease->release();
    medium = StgMedium{};
}

namespace {

class StdEnumFormatEtc final : public RefCounted<IEnumFormatEtc> {
public:
    StdEnumFormatEtc(std::vector<FormatEtc> entries, size_t position)
        : entries_(std::move(entries)), position_(position) {}

    HResult next(uint32_t count, FormatEtc* out, uint32_t* fetched) override {
        if (count == 0 || out == nullptr) return E_INVALIDARG;
        if (position_ >= entries_.size()) {
            if (fetched) *fetched = 0;
            return S_FALSE;
        }
        if (fetched == nullptr && count != 1) return E_INVALIDARG;
        uint32_t copied = 0;
        while (copied < count && position_ < entries_.size()) out[copied++] = entries_[position_++];
        if (fetched) *fetched = copied;
        return copied == count ? S_OK : S_FALSE;
    }
    HResult skip(uint32_t count) override {
        if (count > entries_.size() - position_) return S_FALSE;
        position_ += count;
        return S_OK;
    }
    HResult reset() override {
        position_ = 0;
        return S_OK;
    }
    HResult clone(IEnumFormatEtc** out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = new (std::nothrow) StdEnumFormatEtc(entries_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::vector<FormatEtc> entries_;
    size_t position_;
};

}  // namespace

HResult createStdEnumFormatEtc(std::span<const FormatEtc> entries, IEnumFormatEtc** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = new (std::nothrow)
        StdEnumFormatEtc(std::vector<FormatEtc>(entries.begin(), entries.end()), 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace platform
