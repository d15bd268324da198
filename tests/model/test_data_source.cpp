#include "test_data_source.h"

#include <cstring>

#include "platform/structured_storage.h"

namespace testing_support {

using namespace platform;

void TestDataSource::offerGlobal(ClipFormat format, std::string bytes) {
    offers_[{format, TYMED_HGLOBAL}] = Offer{TYMED_HGLOBAL, std::move(bytes), {}};
    order_.push_back({format, TYMED_HGLOBAL});
}

void TestDataSource::offerMetafile(ClipFormat format, std::string bytes) {
    offers_[{format, TYMED_ENHMF}] = Offer{TYMED_ENHMF, std::move(bytes), {}};
    order_.push_back({format, TYMED_ENHMF});
}

void TestDataSource::offerStorage(ClipFormat format, std::map<std::string, std::string> streams) {
    offers_[{format, TYMED_ISTORAGE}] = Offer{TYMED_ISTORAGE, {}, std::move(streams)};
    order_.push_back({format, TYMED_ISTORAGE});
}

void TestDataSource::offerWrongMedium(ClipFormat format, uint32_t requested, uint32_t answered) {
    offers_[{format, requested}] = Offer{answered, {}, {}};
    order_.push_back({format, requested});
}

HResult TestDataSource::queryGetData(const FormatEtc* request) {
    if (request == nullptr) return E_INVALIDARG;
    return offers_.count({request->cfFormat, request->tymed}) ? S_OK : DV_E_FORMATETC;
}

HResult TestDataSource::getData(const FormatEtc* request, StgMedium* medium) {
    if (request == nullptr || medium == nullptr) return E_INVALIDARG;
    requests_.push_back(*request);
    auto it = offers_.find({request->cfFormat, request->tymed});
    if (it == offers_.end()) return DV_E_FORMATETC;
    const Offer& offer = it->second;
    *medium = StgMedium{};
    medium->tymed = offer.answered;
    if (offer.answered != request->tymed) return S_OK;
    switch (offer.answered) {
        case TYMED_HGLOBAL:
            medium->hGlobal = newGlobal(offer.bytes);
            return medium->hGlobal == GlobalHandle{} ? E_OUTOFMEMORY : S_OK;
        case TYMED_ENHMF:
            medium->hEnhMetaFile = setEnhMetaFileBits(static_cast<uint32_t>(offer.bytes.size()),
                                                      offer.bytes.data());
            return S_OK;
        case TYMED_ISTORAGE: {
            Storage* storage = nullptr;
            Storage::createInMemory(&storage);
            for (const auto& [name, data] : offer.streams)
                storage->writeStream(name, {reinterpret_cast<const unsigned char*>(data.data()),
                                            data.size()});
            medium->pstg = storage;
            return S_OK;
        }
        default:
            return DV_E_FORMATETC;
    }
}

HResult TestDataSource::getDataHere(const FormatEtc*, StgMedium*) { return E_NOTIMPL; }

HResult TestDataSource::enumFormatEtc(uint32_t direction, IEnumFormatEtc** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FormatEtc> entries;
    for (const Key& key : order_) {
        FormatEtc e;
        e.cfFormat = key.first;
        e.tymed = key.second;
        entries.push_back(e);
    }
    return createStdEnumFormatEtc(entries, out);
}

std::string globalBytes(GlobalHandle handle) {
    GlobalLockGuard lock(handle);
    if (!lock) return {};
    return std::string(static_cast<const char*>(lock.get()), globalSize(handle));
}

GlobalHandle newGlobal(const std::string& bytes) {
    const GlobalHandle h = globalAlloc(bytes.size());
    if (h == GlobalHandle{}) return h;
    GlobalLockGuard lock(h);
    if (!bytes.empty()) std::memcpy(lock.get(), bytes.data(), bytes.size());
    return h;
}

}  // namespace testing_support
