#pragma once

#include "platform/data_transfer.h"
#include "platform/structured_storage.h"

namespace platform {

// Embedding an object from a data object. The objects we embed are the ones a data object
// offers as ("Embedded Object", TYMED_ISTORAGE): the object is its storage. Creating it copies
// that storage into the given one (asking getData first, then getDataHere into `storage`) and
// hands out a new object that keeps a reference to the storage; the caller releases it. When
// `object` is null no object is handed out. DV_E_FORMATETC when the data object offers no
// embedded object; the result of the failing call otherwise.
HResult oleCreateFromData(IDataObject* source, Storage* storage, Unknown** object);

}  // namespace platform
