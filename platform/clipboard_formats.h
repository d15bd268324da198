#pragma once

#include <string>
#include <string_view>

#include "platform/data_transfer.h"

namespace platform {

// The standard formats this program uses.
inline constexpr ClipFormat CF_TEXT = 1;
inline constexpr ClipFormat CF_BITMAP = 2;
inline constexpr ClipFormat CF_DIB = 8;
inline constexpr ClipFormat CF_UNICODETEXT = 13;
inline constexpr ClipFormat CF_ENHMETAFILE = 14;
inline constexpr ClipFormat CF_HDROP = 15;
inline constexpr ClipFormat CF_LOCALE = 16;

// Registered formats are numbered from here up, in the order the names are first registered.
inline constexpr ClipFormat kFirstRegisteredFormat = 0xC000;

// The number of a named format, the same for the same name (compared without regard to ASCII
// case) for the whole life of the process; 0 for an empty name or when no numbers are left.
// Thread-safe.
ClipFormat registerClipboardFormat(std::u16string_view name);

// The name a registered format was registered under; empty for any other number (the
// standard formats have no registered name).
std::u16string clipboardFormatName(ClipFormat format);

// The formats this program registers. They are registered before any other name, in this
// order, the first time any format is registered or this is asked for.
struct RegisteredFormats {
    ClipFormat html;                   // "HTML Format"
    ClipFormat rtf;                    // "Rich Text Format"
    ClipFormat csv;                    // "Csv"
    ClipFormat embeddedObject;         // "Embedded Object"
    ClipFormat preferredDropEffect;    // "Preferred DropEffect"
    ClipFormat shellIdList;            // "Shell IDList Array"
    ClipFormat shellObjectOffsets;     // "Shell Object Offsets"
    ClipFormat quilletTag;             // "Quillet Professional Tag"
    ClipFormat clipboardViewerIgnore;  // "Clipboard Viewer Ignore"
    ClipFormat png;                    // "PNG": a PNG file, as many Windows programs offer it
};
const RegisteredFormats& registeredFormats();

}  // namespace platform
