#include "model/bitmap_item.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "model/png_file.h"
#include "platform/clipboard_formats.h"
#include "platform/device_bitmap.h"
#include "platform/global_memory.h"

namespace cb {

using namespace platform;

namespace {

constexpr size_t kHeaderBytes = BitmapInfoHeader::kBytes;

// Compression values 257..267 carry FreeImage's own image types (value - 255) through a DIB.
constexpr uint32_t kFirstImageTypeCompression = 257;
constexpr uint32_t kLastImageTypeCompression = 267;
constexpr uint32_t kImageTypeOffset = 255;

void ensureFreeImage() {
    static std::once_flag once;
    std::call_once(once, [] { FreeImage_Initialise(FALSE); });
}

struct ImageDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Image = std::unique_ptr<FIBITMAP, ImageDeleter>;

struct MemoryDeleter {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

// Bits per pixel of FreeImage's image types other than the standard bitmap.
unsigned bitsPerPixel(FREE_IMAGE_TYPE type) {
    switch (type) {
        case FIT_UINT16:
        case FIT_INT16:
            return 16;
        case FIT_UINT32:
        case FIT_INT32:
        case FIT_FLOAT:
            return 32;
        case FIT_DOUBLE:
        case FIT_RGBA16:
            return 64;
        case FIT_RGB16:
            return 48;
        case FIT_RGBF:
            return 96;
        case FIT_COMPLEX:
        case FIT_RGBAF:
            return 128;
        default:
            return 0;
    }
}

bool usableBitCount(unsigned n) {
    return n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32;
}

uint32_t read32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The image as a standard PNG file; nothing when FreeImage cannot write it.
std::optional<cmn::mblock<char>> encodePng(FIBITMAP* image) {
    Image converted;
    // PNG has no channels of 5 or 6 bits: 16-bit pictures are widened to 24 bits first.
    if (FreeImage_GetImageType(image) == FIT_BITMAP && FreeImage_GetBPP(image) == 16) {
        converted.reset(FreeImage_ConvertTo24Bits(image));
        if (!converted) return std::nullopt;
        image = converted.get();
    }
    Memory memory(FreeImage_OpenMemory());
    if (!memory || !FreeImage_SaveToMemory(FIF_PNG, image, memory.get(), PNG_DEFAULT))
        return std::nullopt;
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || size == 0) return std::nullopt;
    return cmn::mblock<char>(reinterpret_cast<const char*>(data), size);
}

}  // namespace

void BitmapItem::Dib::write(void* p) const {
    auto* out = static_cast<unsigned char*>(p);
    header.write(out);
    out += kHeaderBytes;
    if (!palette.empty()) std::memcpy(out, palette.data(), palette.size());
    out += palette.size();
    if (!bits.empty()) std::memcpy(out, bits.data(), bits.size());
}

std::vector<unsigned char> BitmapItem::Dib::bytes() const {
    std::vector<unsigned char> out(size());
    write(out.data());
    return out;
}

bool BitmapItem::setFromPackedDib(const void* dib, size_t available) {
    if (dib == nullptr || available < kHeaderBytes) return false;
    const auto* p = static_cast<const unsigned char*>(dib);
    const BitmapInfoHeader source = BitmapInfoHeader::read(p);

    const int64_t width = source.biWidth;
    const int64_t height = std::abs(int64_t{source.biHeight});
    const bool topDown = source.biHeight < 0;
    if (width <= 0 || height == 0 || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max())
        return false;

    FREE_IMAGE_TYPE type = FIT_BITMAP;
    unsigned bpp = source.biBitCount;
    const bool bitfields = source.biCompression == BI_BITFIELDS;
    if (source.biCompression >= kFirstImageTypeCompression &&
        source.biCompression <= kLastImageTypeCompression) {
        type = static_cast<FREE_IMAGE_TYPE>(source.biCompression - kImageTypeOffset);
        bpp = bitsPerPixel(type);
    } else if (source.biCompression != BI_RGB && !bitfields) {
        // Run-length or otherwise compressed rows cannot be copied as pixels.
        return false;
    } else if (!usableBitCount(bpp)) {
        return false;
    }

    // The colour table follows the header; with BI_BITFIELDS the three masks stand in its place.
    uint64_t colours = 0;
    uint32_t masks[3] = {0, 0, 0};
    uint64_t bitsOffset = kHeaderBytes;
    if (bitfields) {
        if (available < kHeaderBytes + 12) return false;
        for (int i = 0; i < 3; ++i) masks[i] = read32(p + kHeaderBytes + 4 * i);
        bitsOffset += 12;
    } else {
        colours = source.biClrUsed != 0               ? source.biClrUsed
                  : source.biBitCount <= 8 && source.biBitCount > 0 ? uint64_t{1} << source.biBitCount
                                                    : 0;
        bitsOffset += 4 * colours;
    }
    const uint64_t pitch = (uint64_t(width) * bpp + 31) / 32 * 4;
    const uint64_t rowsBytes = pitch * uint64_t(height);
    if (bitsOffset > available || rowsBytes > available - bitsOffset) return false;

    if (type == FIT_BITMAP && source.biCompression == BI_RGB && (bpp == 24 || bpp == 32)) {
        // The pictures nearly every program offers are written without FreeImage, faster.
        png::BgrRows rows;
        rows.first = p + bitsOffset + (topDown ? 0 : (height - 1) * pitch);
        rows.stride = topDown ? static_cast<ptrdiff_t>(pitch) : -static_cast<ptrdiff_t>(pitch);
        rows.width = static_cast<uint32_t>(width);
        rows.height = static_cast<uint32_t>(height);
        rows.alpha = bpp == 32;
        rows.xPelsPerMeter = source.biXPelsPerMeter;
        rows.yPelsPerMeter = source.biYPelsPerMeter;
        try {
            bitmap_.block = cmn::mblock<char>(png::encode(rows));
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    ensureFreeImage();
    Image image(FreeImage_AllocateT(type, static_cast<int>(width), static_cast<int>(height),
                                    static_cast<int>(bpp), masks[0], masks[1], masks[2]));
    if (!image || FreeImage_GetPitch(image.get()) != pitch) return false;

    // The allocation's own geometry, bit count and palette size stay: FreeImage relies on them.
    // What the source adds is its resolution.
    BITMAPINFOHEADER* info = FreeImage_GetInfoHeader(image.get());
    info->biXPelsPerMeter = source.biXPelsPerMeter;
    info->biYPelsPerMeter = source.biYPelsPerMeter;

    if (source.biBitCount <= 15 && type == FIT_BITMAP) {
        RGBQUAD* palette = FreeImage_GetPalette(image.get());
        const uint64_t room = FreeImage_GetColorsUsed(image.get());
        if (palette && colours > 0)
            std::memcpy(palette, p + kHeaderBytes, 4 * std::min(colours, room));
    }

    const unsigned char* rows = p + bitsOffset;
    if (!topDown) {
        std::memcpy(FreeImage_GetBits(image.get()), rows, rowsBytes);
    } else {
        for (int64_t r = 0; r < height; ++r)
            std::memcpy(FreeImage_GetScanLine(image.get(), static_cast<int>(height - 1 - r)),
                        rows + r * pitch, pitch);
    }

    auto png = encodePng(image.get());
    if (!png) return false;
    bitmap_.block = std::move(*png);
    return true;
}

bool BitmapItem::setFromPng(const void* png, size_t n) {
    if (png == nullptr || n == 0 || n > UINT32_MAX) return false;
    const std::string_view bytes(static_cast<const char*>(png), n);
    if (!png::isWellFormed(bytes, kMaxGlobalBytes)) return false;
    bitmap_.block = cmn::mblock<char>(bytes);
    return true;
}

std::optional<BitmapItem::Dib> BitmapItem::decode() const {
    const cmn::mblock<char>& block = bitmap_.block;
    if (block.empty()) return std::nullopt;
    ensureFreeImage();
    // FreeImage only reads from a memory stream it did not allocate.
    Memory memory(FreeImage_OpenMemory(
        reinterpret_cast<BYTE*>(const_cast<char*>(block.data())), block.size()));
    if (!memory) return std::nullopt;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (fif == FIF_UNKNOWN) return std::nullopt;
    // A few bytes of a stored or received file can claim a picture of any size: where the
    // format allows it, the size is read first, and a picture that could never be rendered
    // into global memory is not decoded at all.
    if (FreeImage_FIFSupportsNoPixels(fif)) {
        Image header(FreeImage_LoadFromMemory(fif, memory.get(), FIF_LOAD_NOPIXELS));
        if (!header) return std::nullopt;
        const uint64_t bytes = uint64_t{FreeImage_GetPitch(header.get())} *
                               FreeImage_GetHeight(header.get());
        if (bytes > kMaxGlobalBytes) return std::nullopt;
        FreeImage_SeekMemory(memory.get(), 0, SEEK_SET);
    }
    Image image(FreeImage_LoadFromMemory(fif, memory.get(), 0));
    if (!image) return std::nullopt;

    Dib dib;
    dib.header = BitmapInfoHeader::read(FreeImage_GetInfoHeader(image.get()));
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image.get());
    if (type != FIT_BITMAP) dib.header.biCompression = static_cast<uint32_t>(type) + kImageTypeOffset;

    const RGBQUAD* palette = FreeImage_GetPalette(image.get());
    const size_t colours = FreeImage_GetColorsUsed(image.get());
    if (palette && colours > 0) {
        const auto* first = reinterpret_cast<const unsigned char*>(palette);
        dib.palette.assign(first, first + 4 * colours);
    }
    const size_t rowsBytes = size_t{FreeImage_GetPitch(image.get())} * FreeImage_GetHeight(image.get());
    const auto* bits = FreeImage_GetBits(image.get());
    if (!bits) return std::nullopt;
    dib.bits.assign(bits, bits + rowsBytes);
    return dib;
}

void BitmapItem::appendFormats(std::vector<FormatPair>& formats) const {
    formats.push_back({CF_BITMAP, TYMED_GDI});
    formats.push_back({CF_DIB, TYMED_HGLOBAL});
    formats.push_back({registeredFormats().png, TYMED_HGLOBAL});
}

HResult BitmapItem::getData(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    if (request.cfFormat == registeredFormats().png) {
        // The stored file as it is: nothing to decode.
        const cmn::mblock<char>& block = bitmap_.block;
        if (block.empty()) return E_FAIL;
        const GlobalHandle h = globalAlloc(block.size(), false);
        if (h == GlobalHandle{}) return E_OUTOFMEMORY;
        {
            GlobalLockGuard lock(h);
            if (!lock) {
                globalFree(h);
                return E_OUTOFMEMORY;
            }
            std::memcpy(lock.get(), block.data(), block.size());
        }
        medium.hGlobal = h;
        return S_OK;
    }
    const std::optional<Dib> dib = decode();
    if (!dib) return E_FAIL;
    if (request.cfFormat == CF_DIB) {
        const GlobalHandle h = globalAlloc(dib->size(), true);
        if (h == GlobalHandle{}) return E_FAIL;
        {
            GlobalLockGuard lock(h);
            if (!lock) {
                globalFree(h);
                return E_FAIL;
            }
            dib->write(lock.get());
        }
        medium.hGlobal = h;
        return S_OK;
    }
    medium.hBitmap = createDIBitmap(dib->header, dib->palette, dib->bits);
    return S_OK;
}

HResult BitmapItem::getDataHere(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    if (request.cfFormat == registeredFormats().png) {
        const cmn::mblock<char>& block = bitmap_.block;
        if (block.empty()) return E_FAIL;
        if (globalSize(medium.hGlobal) < block.size()) return E_INVALIDARG;
        GlobalLockGuard lock(medium.hGlobal);
        if (!lock) return E_INVALIDARG;
        std::memcpy(lock.get(), block.data(), block.size());
        return S_OK;
    }
    if (request.cfFormat != CF_DIB) return DV_E_FORMATETC;
    const std::optional<Dib> dib = decode();
    if (!dib) return E_FAIL;
    if (globalSize(medium.hGlobal) < dib->size()) return E_INVALIDARG;
    GlobalLockGuard lock(medium.hGlobal);
    if (!lock) return E_INVALIDARG;
    dib->write(lock.get());
    return S_OK;
}

bool BitmapItem::readFrom(IDataObject& source) {
    {
        // A PNG file the source offers is kept as it is; a malformed one is passed over.
        ScopedMedium png;
        if (request(source, registeredFormats().png, TYMED_HGLOBAL, png.get()) &&
            png->tymed == TYMED_HGLOBAL && png->hGlobal != GlobalHandle{}) {
            const size_t size = globalSize(png->hGlobal);
            GlobalLockGuard lock(png->hGlobal);
            if (lock && isReadable(lock.get(), size) && setFromPng(lock.get(), size)) return true;
        }
    }
    ScopedMedium medium;
    if (!request(source, CF_DIB, TYMED_HGLOBAL, medium.get())) return false;
    if (medium->tymed != TYMED_HGLOBAL || medium->hGlobal == GlobalHandle{}) return false;
    GlobalLockGuard lock(medium->hGlobal);
    if (!lock || !isReadable(lock.get(), kHeaderBytes)) return false;
    return setFromPackedDib(lock.get(), globalSize(medium->hGlobal));
}

bool BitmapItem::sameData(const Item& other) const {
    return bitmap_ == static_cast<const BitmapItem&>(other).bitmap_;
}

}  // namespace cb
