#include "model/enh_metafile_item.h"

#include <vector>

#include "platform/clipboard_formats.h"
#include "platform/enh_metafile.h"

namespace cb {

using namespace platform;

void EnhMetaFileItem::appendFormats(std::vector<FormatPair>& formats) const {
    formats.push_back({CF_ENHMETAFILE, TYMED_ENHMF});
}

HResult EnhMetaFileItem::getData(const FormatEtc& request, StgMedium& medium) const {
    const HResult hr = beginRender(request, medium);
    if (failed(hr)) return hr;
    medium.hEnhMetaFile = setEnhMetaFileBits(block_.size(), block_.data());
    return S_OK;
}

HResult EnhMetaFileItem::getDataHere(const FormatEtc& request, StgMedium& medium) const {
    beginRender(request, medium);
    return E_NOTIMPL;
}

bool EnhMetaFileItem::readFrom(IDataObject& source) {
    ScopedMedium medium;
    if (!request(source, CF_ENHMETAFILE, TYMED_ENHMF, medium.get())) return false;
    if (medium->tymed != TYMED_ENHMF || medium->hEnhMetaFile == EnhMetaFileHandle{}) return false;
    const uint32_t n = getEnhMetaFileBits(medium->hEnhMetaFile, 0, nullptr);
    if (n == 0 || n > kMaxGlobalBytes) return false;
    std::vector<char> bytes(n);
    if (getEnhMetaFileBits(medium->hEnhMetaFile, n, bytes.data()) != n) return false;
    block_.assign(bytes.data(), n);
    return true;
}

bool EnhMetaFileItem::sameData(const Item& other) const {
    return block_ == static_cast<const EnhMetaFileItem&>(other).block_;
}

}  // namespace cb
