#pragma once

// What another program's clipboard content becomes for the engine: a read-only data object that
// offers Windows formats made from the owner's targets, in the order the owner lists them, each
// rendered on global memory from bytes read once. Pure: no display connection is needed.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clipboard_conversions.h"
#include "platform/data_transfer.h"

namespace platform {

// The bytes of one clipboard format; or, with `make`, what they are made from when first asked
// for (a picture is decoded only when something wants its pixels).
struct ClipData {
    ClipFormat format = 0;
    std::string bytes;
    std::optional<std::string> (*make)(std::string_view source) = nullptr;
    bool operator==(const ClipData&) const = default;
};

// A data object that offers exactly these formats, in this order, on TYMED_HGLOBAL.
Ref<IDataObject> makeMemoryDataObject(std::vector<ClipData> formats);

// What the owner gave for one Windows format: the target that answered and its bytes.
struct ReadFormat {
    WinFormat format;
    std::string target;
    std::string data;
};

// The formats offered to the engine for what was read: each read converted to its Windows
// format (one that does not convert is left out), with CF_TEXT made from the text and offered
// right after CF_UNICODETEXT, as the desktop synthesises it. CF_DIB from an image/png is made
// when first asked for (and then left out of nothing: a request for it fails instead).
std::vector<ClipData> snapshotFormats(std::span<const ReadFormat> reads);

// The bytes of a data object's formats that an X11 owner or a Wayland source can serve, in the
// object's order.
// Formats it cannot render on global memory are left out.
std::vector<FormatData> renderForTargets(IDataObject& data);

}  // namespace platform
