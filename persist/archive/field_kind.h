#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

namespace cmn::archive::detail {

template <class T>
struct IsByteArray : std::false_type {};
template <size_t N>
struct IsByteArray<std::array<uint8_t, N>> : std::true_type {};

template <class T>
struct IsUniquePtr : std::false_type {};
template <class T>
struct IsUniquePtr<std::unique_ptr<T>> : std::true_type {};

// How a field is written: a primitive token, a fixed array, a pointer, or an object by value.
// An owned pointer (std::unique_ptr) is stored exactly like a plain pointer; on reading, its
// object is adopted at once, so a file cannot give one object two owners.
enum class FieldKind { Boolean, Integer, String, ByteArray, Pointer, OwnedPointer, Object };

template <class T>
constexpr FieldKind fieldKind() {
    if constexpr (std::is_same_v<T, bool>) return FieldKind::Boolean;
    else if constexpr (std::is_integral_v<T>) return FieldKind::Integer;
    else if constexpr (std::is_same_v<T, std::string>) return FieldKind::String;
    else if constexpr (IsByteArray<T>::value) return FieldKind::ByteArray;
    else if constexpr (std::is_pointer_v<T>) return FieldKind::Pointer;
    else if constexpr (IsUniquePtr<T>::value) return FieldKind::OwnedPointer;
    else return FieldKind::Object;
}

}  // namespace cmn::archive::detail
