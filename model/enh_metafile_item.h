#pragma once

#include "model/item.h"
#include "model/mblock.h"

namespace cb {

// An enhanced metafile, kept as the metafile's bytes.
class EnhMetaFileItem final : public Item {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;

    EnhMetaFileItem() = default;
    explicit EnhMetaFileItem(cmn::mblock<char> block) : block_(std::move(block)) {}

    const cmn::mblock<char>& block() const { return block_; }
    void setBlock(cmn::mblock<char> block) { block_ = std::move(block); }

    void appendFormats(std::vector<FormatPair>& formats) const override;
    HResult getData(const platform::FormatEtc& request,
                    platform::StgMedium& medium) const override;
    // A metafile cannot be written into a metafile the caller already has: always E_NOTIMPL.
    HResult getDataHere(const platform::FormatEtc& request,
                        platform::StgMedium& medium) const override;
    bool readFrom(platform::IDataObject& source) override;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(block_);
    }

protected:
    bool sameData(const Item& other) const override;

private:
    cmn::mblock<char> block_;
};

}  // namespace cb
