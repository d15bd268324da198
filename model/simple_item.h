#pragma once

#include "model/item.h"
#include "model/mblock.h"
#include "platform/global_memory.h"

namespace cb {

// An item that keeps the raw bytes of its format exactly as the source handed them over, in a
// global block, and hands them back the same way.
class SimpleItem : public Item {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;

    const cmn::mblock<char>& block() const { return block_; }
    void setBlock(cmn::mblock<char> block) { block_ = std::move(block); }

    // The class's clipboard format.
    virtual ClipFormat format() const = 0;
    // How many bytes readFrom takes from the source's block: all of them, unless a class knows
    // better.
    virtual size_t dataSize(platform::GlobalHandle handle, const void* locked) const;

    void appendFormats(std::vector<FormatPair>& formats) const override;
    HResult getData(const platform::FormatEtc& request,
                    platform::StgMedium& medium) const override;
    HResult getDataHere(const platform::FormatEtc& request,
                        platform::StgMedium& medium) const override;
    bool readFrom(platform::IDataObject& source) override;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(block_);
    }

    SimpleItem() = default;
    explicit SimpleItem(cmn::mblock<char> block) : block_(std::move(block)) {}

protected:
    bool sameData(const Item& other) const override;

    cmn::mblock<char> block_;
};

}  // namespace cb
