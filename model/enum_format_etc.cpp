#include "model/enum_format_etc.h"

#include <new>

#include "model/data_object.h"

namespace cb {

using namespace platform;

EnumFormatEtc::EnumFormatEtc(DataObject& dataObject, std::vector<FormatPair> formats,
                             size_t position)
    : dataObject_(dataObject), formats_(std::move(formats)), position_(position) {
    dataObject_.addRef();
}

EnumFormatEtc::~EnumFormatEtc() { dataObject_.release(); }

EnumFormatEtc* EnumFormatEtc::create(DataObject& dataObject) noexcept {
    try {
        return new EnumFormatEtc(dataObject, dataObject.formats(), 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HResult EnumFormatEtc::next(uint32_t count, FormatEtc* out, uint32_t* fetched) {
    if (count == 0 || out == nullptr) return E_INVALIDARG;
    if (position_ >= formats_.size()) {
        if (fetched) *fetched = 0;
        return S_FALSE;
    }
    if (fetched == nullptr && count != 1) return E_INVALIDARG;
    uint32_t copied = 0;
    while (copied < count && position_ < formats_.size()) {
        FormatEtc& entry = out[copied++];
        entry = FormatEtc{};
        entry.cfFormat = formats_[position_].format;
        entry.tymed = formats_[position_].tymed;
        ++position_;
    }
    if (fetched) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
}

HResult EnumFormatEtc::skip(uint32_t count) {
    // Compared as what is left, so that no count can wrap the position around.
    if (count > formats_.size() - position_) return S_FALSE;
    position_ += count;
    return S_OK;
}

HResult EnumFormatEtc::reset() {
    position_ = 0;
    return S_OK;
}

HResult EnumFormatEtc::clone(IEnumFormatEtc** out) {
    if (out == nullptr) return E_INVALIDARG;
    try {
        *out = new EnumFormatEtc(dataObject_, formats_, position_);
        return S_OK;
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

}  // namespace cb
