#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/interface_id.h"

namespace platform {

// The reference-counted base of every data-transfer object. A new object starts with one
// reference, owned by whoever created it; the last release deletes it.
class Unknown {
public:
    virtual uint32_t addRef() = 0;
    virtual uint32_t release() = 0;

    // The object as another of its interfaces, with one more reference. Every object is its
    // own IID_IUnknown; an interface it lacks gives E_NOINTERFACE (0x80004002) and null.
    virtual int32_t queryInterface(const InterfaceId& iid, void** out) {
        if (out == nullptr) return static_cast<int32_t>(0x80070057);  // E_INVALIDARG
        if (iid == IID_IUnknown) {
            addRef();
            *out = this;
            return 0;
        }
        *out = nullptr;
        return static_cast<int32_t>(0x80004002);
    }

protected:
    virtual ~Unknown() = default;
};

// The counting for platform objects. Lock bytes and storages can be handed between the
// receiver thread and the user-interface thread, so the count is atomic.
template <class Interface>
class RefCounted : public Interface {
public:
    uint32_t addRef() override { return ++count_; }
    uint32_t release() override {
        const uint32_t left = --count_;
        if (left == 0) delete this;
        return left;
    }

protected:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

private:
    std::atomic<uint32_t> count_{1};
};

// Holds one reference and gives it back when it goes away, so that every path out of a
// function that obtained an object releases it.
template <class T>
class Ref {
public:
    Ref() = default;
    // Takes over a reference the caller already holds.
    explicit Ref(T* adopted) : p_(adopted) {}
    Ref(const Ref& other) : p_(other.p_) {
        if (p_) p_->addRef();
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { reset(); }

    void reset() {
        if (p_) std::exchange(p_, nullptr)->release();
    }
    // For functions that hand out a new reference through T**.
    T** out() {
        reset();
        return &p_;
    }
    // Gives the reference to the caller.
    T* detach() { return std::exchange(p_, nullptr); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace platform
