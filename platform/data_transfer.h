#pragma once

// Data transfer between programs as the desktop's object model defines it: a data object offers
// (format, medium) pairs and renders them on request into a storage medium that the receiver
// releases. Our own definitions, with the documented numeric values, so that the model's items
// speak the same contract on every platform.

#include <cstdint>
#include <span>

#include "platform/device_bitmap.h"
#include "platform/enh_metafile.h"
#include "platform/global_memory.h"
#include "platform/unknown.h"

namespace platform {

using HResult = int32_t;

namespace detail {
constexpr HResult hresult(uint32_t bits) { return static_cast<HResult>(bits); }
}  // namespace detail

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = detail::hresult(0x80004001);
inline constexpr HResult E_NOINTERFACE = detail::hresult(0x80004002);
inline constexpr HResult E_FAIL = detail::hresult(0x80004005);
inline constexpr HResult E_OUTOFMEMORY = detail::hresult(0x8007000E);
inline constexpr HResult E_INVALIDARG = detail::hresult(0x80070057);
inline constexpr HResult DV_E_FORMATETC = detail::hresult(0x80040064);
inline constexpr HResult DATA_S_SAMEFORMATETC = detail::hresult(0x00040130);
inline constexpr HResult OLE_E_ADVISENOTSUPPORTED = detail::hresult(0x80040003);

constexpr bool succeeded(HResult hr) { return hr >= 0; }
constexpr bool failed(HResult hr) { return hr < 0; }

using ClipFormat = uint16_t;

// Storage media; a medium field holds exactly one of them.
inline constexpr uint32_t TYMED_NULL = 0;
inline constexpr uint32_t TYMED_HGLOBAL = 1;
inline constexpr uint32_t TYMED_ISTREAM = 4;
inline constexpr uint32_t TYMED_ISTORAGE = 8;
inline constexpr uint32_t TYMED_GDI = 16;
inline constexpr uint32_t TYMED_ENHMF = 64;

inline constexpr uint32_t DVASPECT_CONTENT = 1;

// Directions of format enumeration.
inline constexpr uint32_t DATADIR_GET = 1;
inline constexpr uint32_t DATADIR_SET = 2;

class Stream;
class Storage;

// A request or an offer: which format, on which medium.
struct FormatEtc {
    ClipFormat cfFormat = 0;
    const void* ptd = nullptr;  // target device; never used by this program
    uint32_t dwAspect = DVASPECT_CONTENT;
    int32_t lindex = -1;
    uint32_t tymed = TYMED_NULL;
    bool operator==(const FormatEtc&) const = default;
};

// Rendered data. tymed says which member holds it. The receiver owns it and gives it back with
// releaseStgMedium; when pUnkForRelease is set, releasing it releases that object instead of
// freeing the handle.
struct StgMedium {
    uint32_t tymed = TYMED_NULL;
    GlobalHandle hGlobal{};
    Stream* pstm = nullptr;
    Storage* pstg = nullptr;
    BitmapHandle hBitmap{};
    EnhMetaFileHandle hEnhMetaFile{};
    Unknown* pUnkForRelease = nullptr;
};

// Frees what the medium holds (or releases its release owner) and empties it.
void releaseStgMedium(StgMedium& medium);

// Enumerates the pairs a data object offers.
class IEnumFormatEtc : public Unknown {
public:
    // Copies up to count entries from the current position; fetched (which may be null only
    // when count is 1) receives how many. S_OK when all count were copied, else S_FALSE.
    virtual HResult next(uint32_t count, FormatEtc* out, uint32_t* fetched) = 0;
    virtual HResult skip(uint32_t count) = 0;
    virtual HResult reset() = 0;
    virtual HResult clone(IEnumFormatEtc** out) = 0;
};

// The source side of data transfer.
class IDataObject : public Unknown {
public:
    // S_OK when getData would render the requested pair.
    virtual HResult queryGetData(const FormatEtc* request) = 0;
    // Renders into a new medium that the caller then owns.
    virtual HResult getData(const FormatEtc* request, StgMedium* medium) = 0;
    // Renders into a medium the caller supplies.
    virtual HResult getDataHere(const FormatEtc* request, StgMedium* medium) = 0;
    virtual HResult enumFormatEtc(uint32_t direction, IEnumFormatEtc** out) = 0;

    // The rest of the contract, which only our program's own data object answers in full;
    // others refuse as a source that supports none of it does.
    // out := the request for the whole content on no particular device.
    virtual HResult getCanonicalFormatEtc(const FormatEtc* /*in*/, FormatEtc* /*out*/) {
        return E_NOTIMPL;
    }
    // Takes data from the caller (who keeps the medium unless release is true).
    virtual HResult setData(const FormatEtc* /*format*/, StgMedium* /*medium*/, bool /*release*/) {
        return E_NOTIMPL;
    }
    // Change notifications to an advise sink; connection receives its number.
    virtual HResult dAdvise(const FormatEtc* /*format*/, uint32_t /*advf*/, Unknown* /*sink*/,
                            uint32_t* /*connection*/) {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    virtual HResult dUnadvise(uint32_t /*connection*/) { return E_NOTIMPL; }
    virtual HResult enumDAdvise(Unknown** /*out*/) { return OLE_E_ADVISENOTSUPPORTED; }
};

// The standard enumerator over a fixed list of entries (copied), positioned at the start.
HResult createStdEnumFormatEtc(std::span<const FormatEtc> entries, IEnumFormatEtc** out);

}  // namespace platform
