#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "persist/archive/class_traits.h"
#include "platform/data_transfer.h"

namespace cb {

using platform::ClipFormat;
using platform::HResult;

// One (format, medium) pair an item offers. A request matches it only when both numbers are
// equal as whole numbers: a request that combines several media matches no single offer.
struct FormatPair {
    ClipFormat format = 0;
    uint32_t tymed = 0;
    bool operator==(const FormatPair&) const = default;
};

// The data of one clipboard format taken from one clipboard state. Items keep plain bytes (or
// text); only readFrom, getData and getDataHere speak the data-transfer contract.
class Item {
public:
    virtual ~Item();

    // Appends, in the class's order, every pair the item offers.
    virtual void appendFormats(std::vector<FormatPair>& formats) const = 0;
    // Renders the item into a new medium that the caller owns. The medium's release owner is
    // cleared and its tymed set to the requested one before anything else; DV_E_FORMATETC for a
    // pair the item does not offer.
    virtual HResult getData(const platform::FormatEtc& request,
                            platform::StgMedium& medium) const = 0;
    // Renders the item into the caller's medium, with the same first steps as getData.
    virtual HResult getDataHere(const platform::FormatEtc& request,
                                platform::StgMedium& medium) const = 0;
    // Replaces the item's data with what the data object holds for the class's format. On
    // failure the old data stays and the result is false.
    virtual bool readFrom(platform::IDataObject& source) = 0;

    // True when one of the item's pairs matches the request.
    bool offers(const platform::FormatEtc& request) const;

    // Items of the same class holding the same data.
    friend bool operator==(const Item& a, const Item& b);

protected:
    Item() = default;
    Item(const Item&) = default;
    Item& operator=(const Item&) = default;

    // Called only with an item of the same class as this one.
    virtual bool sameData(const Item& other) const = 0;

    // The first steps every rendering shares: clears the release owner, sets the requested
    // tymed, and answers DV_E_FORMATETC for a pair the item does not offer (S_OK otherwise).
    HResult beginRender(const platform::FormatEtc& request, platform::StgMedium& medium) const;

    // Asks the source for (format, tymed) as readFrom does: content aspect, no target device,
    // lindex -1. The medium the caller passes in is empty; the caller releases it.
    static bool request(platform::IDataObject& source, ClipFormat format, uint32_t tymed,
                        platform::StgMedium& medium);

    // A new movable block of exactly n bytes holding them, in the medium; E_OUTOFMEMORY when
    // it cannot be had.
    static HResult renderNewGlobal(const void* bytes, size_t n, platform::StgMedium& medium);
    // Copies the n bytes to the start of the caller's block; `tooSmall` when that block is
    // smaller than n bytes.
    static HResult renderIntoGlobal(const void* bytes, size_t n, platform::StgMedium& medium,
                                    HResult tooSmall);
};

// A medium that is released when the scope ends, however it ends.
class ScopedMedium {
public:
    ScopedMedium() = default;
    ~ScopedMedium() { platform::releaseStgMedium(medium_); }
    ScopedMedium(const ScopedMedium&) = delete;
    ScopedMedium& operator=(const ScopedMedium&) = delete;

    platform::StgMedium& get() { return medium_; }
    platform::StgMedium* operator->() { return &medium_; }

private:
    platform::StgMedium medium_;
};

}  // namespace cb

// Items are stored through pointers to cb::Item, which is abstract: every first pointer of a
// class names the concrete class by its key.
template <>
struct cmn::archive::PolymorphicBase<cb::Item> {
    static constexpr bool enabled = true;
    static constexpr bool abstract = true;
    static const PolymorphicRegistry<cb::Item>& registry();
};
