#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "model/item.h"
#include "model/mblock.h"
#include "platform/bitmap_info.h"

namespace cb {

// A picture, kept as a PNG file. It is read from the "PNG" format when the source offers a
// well-formed PNG file there (its bytes are kept as they are), else from a packed
// device-independent bitmap; it is offered as a device bitmap, as a packed DIB and as the PNG
// file. Pixels are decoded only when a DIB or a device bitmap is asked for.
class BitmapItem final : public Item {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;

    // The stored picture: one block holding a PNG file, or nothing.
    class wxBitmap {
    public:
        static constexpr unsigned archiveVersion = 0;
        static constexpr bool archiveTracked = false;

        cmn::mblock<char> block;

        template <class Archive>
        void serialize(Archive& ar, unsigned) {
            ar(block);
        }
        bool operator==(const wxBitmap& other) const { return block == other.block; }
    };

    // A packed DIB as rendering writes it: the 40-byte header, the colour table, the rows.
    struct Dib {
        platform::BitmapInfoHeader header;
        std::vector<unsigned char> palette;
        std::vector<unsigned char> bits;

        size_t size() const { return platform::BitmapInfoHeader::kBytes + palette.size() + bits.size(); }
        // Writes size() bytes at p.
        void write(void* p) const;
        std::vector<unsigned char> bytes() const;
    };

    BitmapItem() = default;

    const wxBitmap& bitmap() const { return bitmap_; }
    void setBitmap(wxBitmap bitmap) { bitmap_ = std::move(bitmap); }
    const cmn::mblock<char>& png() const { return bitmap_.block; }

    // Replaces the picture with the packed DIB at `dib`, of which `available` bytes may be
    // read. False, with the old picture kept, when the bytes are not a DIB we can take (a header
    // that describes no image, compressed rows, rows or tables beyond `available`) or when the
    // picture cannot be encoded.
    bool setFromPackedDib(const void* dib, size_t available);

    // Keeps the n bytes at `png` as the picture when they are a well-formed PNG file whose
    // pixels would fit in global memory; false, with the old picture kept, otherwise.
    bool setFromPng(const void* png, size_t n);

    // The stored picture decoded; nothing for an empty block or bytes that are no picture.
    std::optional<Dib> decode() const;

    void appendFormats(std::vector<FormatPair>& formats) const override;
    HResult getData(const platform::FormatEtc& request,
                    platform::StgMedium& medium) const override;
    HResult getDataHere(const platform::FormatEtc& request,
                        platform::StgMedium& medium) const override;
    bool readFrom(platform::IDataObject& source) override;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(bitmap_);
    }

protected:
    bool sameData(const Item& other) const override;

private:
    wxBitmap bitmap_;
};

}  // namespace cb
