#pragma once

#include <cstdint>

#include "platform/data_transfer.h"
#include "platform/interface_id.h"

namespace cb {

// The reference counting and interface lookup of every data-transfer object of the program.
// A new object holds one reference, for its creator; the last release deletes it. The count is
// a plain integer: our objects are only ever used on the user-interface thread, including the
// calls the desktop makes while another program reads our clipboard data.
template <class Interface, const platform::InterfaceId& Iid>
class SimpleUnknownImpl : public Interface {
public:
    SimpleUnknownImpl(const SimpleUnknownImpl&) = delete;
    SimpleUnknownImpl& operator=(const SimpleUnknownImpl&) = delete;

    platform::HResult queryInterface(const platform::InterfaceId& iid, void** out) override {
        if (out == nullptr) return platform::E_INVALIDARG;
        if (iid == platform::IID_IUnknown) {
            *out = static_cast<platform::Unknown*>(static_cast<Interface*>(this));
        } else if (iid == Iid) {
            *out = static_cast<Interface*>(this);
        } else {
            *out = nullptr;
            return platform::E_NOINTERFACE;
        }
        addRef();
        return platform::S_OK;
    }
    uint32_t addRef() override { return ++refs_; }
    uint32_t release() override {
        const uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    uint32_t referenceCount() const { return refs_; }

protected:
    SimpleUnknownImpl() = default;
    ~SimpleUnknownImpl() override = default;

private:
    uint32_t refs_ = 1;
};

}  // namespace cb
