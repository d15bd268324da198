#pragma once

#include "persist/archive/class_traits.h"
#include "persist/archive/reader.h"
#include "persist/archive/writer.h"

namespace cmn::archive {

template <class Base>
template <class Derived>
PolymorphicRegistry<Base>& PolymorphicRegistry<Base>::add(std::string key) {
    static_assert(std::is_base_of_v<Base, Derived>);
    entries_.push_back(PolymorphicEntry<Base>{
        std::move(key),
        std::type_index(typeid(Derived)),
        sizeof(Derived),
        ClassTraits<Derived>::version,
        ClassTraits<Derived>::tracked,
        []() -> Base* { return new Derived(); },
        [](void* p) -> Base* { return static_cast<Derived*>(p); },
        [](void* p) { delete static_cast<Derived*>(p); },
        [](Writer& w, Base& b, unsigned v) {
            ClassTraits<Derived>::serialize(w, static_cast<Derived&>(b), v);
        },
        [](Reader& r, Base& b, unsigned v) {
            ClassTraits<Derived>::serialize(r, static_cast<Derived&>(b), v);
        },
    });
    return *this;
}

}  // namespace cmn::archive
