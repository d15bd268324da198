#pragma once

#include "model/item.h"
#include "model/mblock.h"

namespace cb {

// An embedded object, kept as the bytes of the docfile that holds its storage. It is read from
// the whole data object through object creation and offered as a storage.
class EmbeddedObjectItem final : public Item {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;

    EmbeddedObjectItem() = default;
    explicit EmbeddedObjectItem(cmn::mblock<char> block) : block_(std::move(block)) {}

    const cmn::mblock<char>& block() const { return block_; }
    void setBlock(cmn::mblock<char> block) { block_ = std::move(block); }

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

protected:
    bool sameData(const Item& other) const override;

private:
    cmn::mblock<char> block_;
};

}  // namespace cb
