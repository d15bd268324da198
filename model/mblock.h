#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace cmn {

// An owning byte block: data and a 32-bit size. Copies are deep; two blocks are equal when their
// sizes are equal and they share the data or hold the same bytes.
template <class T>
class mblock {
    static_assert(sizeof(T) == 1, "a block holds bytes");

public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    mblock() = default;
    mblock(const T* bytes, uint32_t n) { assign(bytes, n); }
    explicit mblock(std::string_view bytes)
        : mblock(reinterpret_cast<const T*>(bytes.data()), static_cast<uint32_t>(bytes.size())) {}
    mblock(const mblock& other) { assign(other.data(), other.size()); }
    mblock(mblock&& other) noexcept : data_(std::move(other.data_)), size_(other.size_) {
        other.size_ = 0;
    }
    mblock& operator=(const mblock& other) {
        if (this != &other) assign(other.data(), other.size());
        return *this;
    }
    mblock& operator=(mblock&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = other.size_;
        other.size_ = 0;
        return *this;
    }

    const T* data() const { return data_.get(); }
    T* data() { return data_.get(); }
    uint32_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const {
        return {reinterpret_cast<const char*>(data_.get()), size_};
    }

    void assign(const T* bytes, uint32_t n) {
        if (n == 0) {
            data_.reset();
            size_ = 0;
            return;
        }
        std::unique_ptr<T[]> fresh(new T[n]);
        std::memcpy(fresh.get(), bytes, n);
        data_ = std::move(fresh);
        size_ = n;
    }
    void clear() { assign(nullptr, 0); }

    friend bool operator==(const mblock& a, const mblock& b) {
        if (a.size_ != b.size_) return false;
        return a.data_.get() == b.data_.get() || a.size_ == 0 ||
               std::memcmp(a.data_.get(), b.data_.get(), a.size_) == 0;
    }

    // Stored as its size and, when not empty, a binary block of that many bytes.
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        uint32_t n = size_;
        ar.field(n);
        if constexpr (Archive::isLoading) {
            std::unique_ptr<char[]> bytes = ar.binary(n);
            data_.reset(reinterpret_cast<T*>(bytes.release()));
            size_ = n;
        } else {
            ar.binary(reinterpret_cast<const char*>(data_.get()), n);
        }
    }

private:
    std::unique_ptr<T[]> data_;
    uint32_t size_ = 0;
};

}  // namespace cmn
