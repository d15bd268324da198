#pragma once

// The rules of the capture that need no desktop.

#include <string_view>

#include "model/data_object.h"

namespace engine {

// The formats that carry the same data in another form count as one: CF_BITMAP and CF_DIB as
// CF_DIB, CF_METAFILEPICT and CF_ENHMETAFILE as CF_ENHMETAFILE, CF_TEXT and CF_UNICODETEXT as
// CF_UNICODETEXT. Every other format stands for itself.
platform::ClipFormat mergedFormat(platform::ClipFormat format);

// Two captures hold the same content when each of text, rich text, CSV, bitmap, HTML, file list
// and enhanced metafile is either missing from both or equal in both. The other items (locale,
// drop effect, shell lists, embedded objects, the tag) do not count.
bool sameContent(const cb::DataObject& a, const cb::DataObject& b);

// A clipboard owner whose program names no executable, or the console server, stands for the
// program the user was typing in.
bool needsFocusFallback(std::u16string_view path);

}  // namespace engine
