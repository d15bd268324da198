#pragma once

#include <cstddef>
#include <vector>

#include "model/item.h"
#include "model/simple_unknown.h"

namespace cb {

class DataObject;

// Enumerates the pairs a data object offered when the enumerator was made. It keeps the data
// object alive for as long as it lives itself.
class EnumFormatEtc final
    : public SimpleUnknownImpl<platform::IEnumFormatEtc, platform::IID_IEnumFORMATETC> {
public:
    // A new enumerator at the first pair, with one reference; null when memory runs out.
    static EnumFormatEtc* create(DataObject& dataObject) noexcept;

    // E_INVALIDARG for a count of 0 or a null array; S_FALSE with fetched 0 at the end;
    // E_INVALIDARG for a null fetched with a count other than 1; else copies up to count
    // entries, S_OK when all of them were there.
    HResult next(uint32_t count, platform::FormatEtc* out, uint32_t* fetched) override;
    // S_FALSE, not moving, when fewer than count pairs are left.
    HResult skip(uint32_t count) override;
    HResult reset() override;
    // Another enumerator over the same data object, at the same position.
    HResult clone(platform::IEnumFormatEtc** out) override;

    const std::vector<FormatPair>& formats() const { return formats_; }
    size_t position() const { return position_; }

private:
    EnumFormatEtc(DataObject& dataObject, std::vector<FormatPair> formats, size_t position);
    ~EnumFormatEtc() override;

    DataObject& dataObject_;  // one reference held
    std::vector<FormatPair> formats_;
    size_t position_;
};

}  // namespace cb
