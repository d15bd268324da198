#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <typeindex>
#include <vector>

namespace cmn::archive {

// How a stored class describes itself to the archive. By default a class carries
//   static constexpr unsigned archiveVersion;   // the class version written in its preamble
//   static constexpr bool archiveTracked;       // whether its objects carry object ids
//   template <class Archive> void serialize(Archive& ar, unsigned version);
// and serialize lists its fields in archive order with ar(field, ...). Writing and reading go
// through the same serialize; Archive::isLoading tells them apart where a version matters.
// Classes that cannot carry members (standard containers, smart pointers) specialize ClassTraits.
template <class T, class = void>
struct ClassTraits {
    static constexpr unsigned version = T::archiveVersion;
    static constexpr bool tracked = T::archiveTracked;
    template <class Archive>
    static void serialize(Archive& ar, T& object, unsigned storedVersion) {
        object.serialize(ar, storedVersion);
    }
};

template <class Base>
class PolymorphicRegistry;

// A declared pointer target whose objects may be of derived classes specializes this with
//   static constexpr bool enabled = true;
//   static constexpr bool abstract;            // abstract bases never get a class id
//   static const PolymorphicRegistry<Base>& registry();
template <class Base>
struct PolymorphicBase {
    static constexpr bool enabled = false;
    static constexpr bool abstract = false;
};

class Writer;
class Reader;

// One derived class that a pointer to Base may point to, with its exported key.
template <class Base>
struct PolymorphicEntry {
    std::string key;
    std::type_index type;
    size_t size;  // of the derived object, for the reader's count of what a load builds
    unsigned version;
    bool tracked;
    Base* (*create)();
    Base* (*upcast)(void* complete);
    void (*destroy)(void* complete);
    void (*save)(Writer&, Base&, unsigned);
    void (*load)(Reader&, Base&, unsigned);
};

template <class Base>
class PolymorphicRegistry {
public:
    template <class Derived>
    PolymorphicRegistry& add(std::string key);  // defined in polymorphic.h

    const PolymorphicEntry<Base>* findByType(std::type_index type) const {
        for (const auto& e : entries_)
            if (e.type == type) return &e;
        return nullptr;
    }
    const PolymorphicEntry<Base>* findByKey(const std::string& key) const {
        for (const auto& e : entries_)
            if (e.key == key) return &e;
        return nullptr;
    }

private:
    std::vector<PolymorphicEntry<Base>> entries_;
};

template <class T>
inline constexpr bool isPolymorphicBase = PolymorphicBase<T>::enabled;

}  // namespace cmn::archive
