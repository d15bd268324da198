#include "platform/ole_object.h"

#include "platform/clipboard_formats.h"

namespace platform {

namespace {

// An embedded object: all it has is its storage.
class EmbeddedObject final : public RefCounted<Unknown> {
public:
    explicit EmbeddedObject(Storage* storage) : storage_(storage) { storage_->addRef(); }

private:
    ~EmbeddedObject() override { storage_->release(); }
    Storage* storage_;
};

}  // namespace

HResult oleCreateFromData(IDataObject* source, Storage* storage, Unknown** object) {
    if (object) *object = nullptr;
    if (source == nullptr || storage == nullptr) return E_INVALIDARG;

    FormatEtc request;
    request.cfFormat = registeredFormats().embeddedObject;
    request.tymed = TYMED_ISTORAGE;

    StgMedium medium;
    HResult hr = source->getData(&request, &medium);
    if (succeeded(hr)) {
        if (medium.tymed == TYMED_ISTORAGE && medium.pstg != nullptr)
            hr = medium.pstg->copyTo(storage);
        else
            hr = DV_E_FORMATETC;
        releaseStgMedium(medium);
    } else {
        StgMedium here;
        here.tymed = TYMED_ISTORAGE;
        here.pstg = storage;
        hr = source->getDataHere(&request, &here);
    }
    if (failed(hr)) return hr;
    if (object) *object = new EmbeddedObject(storage);
    return S_OK;
}

}  // namespace platform
