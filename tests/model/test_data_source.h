#pragma once

// A data object for tests: it offers what a test puts into it and renders each request into a
// fresh medium, as another program's clipboard data would.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/data_transfer.h"

namespace testing_support {

class TestDataSource final : public platform::IDataObject {
public:
    // getData on (format, TYMED_HGLOBAL) hands out a new block holding exactly these bytes.
    void offerGlobal(platform::ClipFormat format, std::string bytes);
    // getData on (format, TYMED_ENHMF) hands out a new metafile with these bytes.
    void offerMetafile(platform::ClipFormat format, std::string bytes);
    // getData on (format, TYMED_ISTORAGE) hands out a new storage holding these streams.
    void offerStorage(platform::ClipFormat format, std::map<std::string, std::string> streams);
    // getData on (format, requested) succeeds but hands out an empty medium of `answered`.
    void offerWrongMedium(platform::ClipFormat format, uint32_t requested, uint32_t answered);

    // Every request getData saw, in order.
    const std::vector<platform::FormatEtc>& requests() const { return requests_; }

    // Lives on the stack: counting only.
    uint32_t addRef() override { return ++refs_; }
    uint32_t release() override { return --refs_; }

    platform::HResult queryGetData(const platform::FormatEtc* request) override;
    platform::HResult getData(const platform::FormatEtc* request,
                              platform::StgMedium* medium) override;
    platform::HResult getDataHere(const platform::FormatEtc* request,
                                  platform::StgMedium* medium) override;
    platform::HResult enumFormatEtc(uint32_t direction, platform::IEnumFormatEtc** out) override;

private:
    struct Offer {
        uint32_t answered;
        std::string bytes;
        std::map<std::string, std::string> streams;
    };
    using Key = std::pair<platform::ClipFormat, uint32_t>;
    std::map<Key, Offer> offers_;
    std::vector<Key> order_;
    std::vector<platform::FormatEtc> requests_;
    uint32_t refs_ = 1;
};

// The bytes of a global block.
std::string globalBytes(platform::GlobalHandle handle);
// A new global block holding the bytes; the caller frees it.
platform::GlobalHandle newGlobal(const std::string& bytes);

}  // namespace testing_support
