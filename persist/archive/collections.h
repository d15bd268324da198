#pragma once

// Archive forms of the standard containers and of boost::shared_ptr. A collection is a class of
// its own (version 0, untracked): its preamble is written before its first use, then the element
// count and the elements, without per-element versions.

#include <boost/shared_ptr.hpp>
#include <deque>
#include <map>
#include <type_traits>
#include <utility>
#include <vector>

#include "persist/archive/class_traits.h"
#include "persist/archive/error.h"
#include "persist/archive/field_kind.h"

namespace cmn::archive {

namespace detail {

template <class Element>
constexpr bool isUntrackedOrNotAnObject() {
    if constexpr (fieldKind<Element>() == FieldKind::Object) return !ClassTraits<Element>::tracked;
    else return true;
}

template <class Sequence, class Archive>
void serializeSequence(Archive& ar, Sequence& sequence) {
    using Element = typename Sequence::value_type;
    static_assert(isUntrackedOrNotAnObject<Element>(),
                  "tracked objects are stored in sequences through pointers");
    if constexpr (Archive::isLoading) {
        const uint64_t n = ar.count(sizeof(Element));
        sequence.clear();
        for (uint64_t i = 0; i < n; ++i) {
            Element element{};
            ar.field(element);
            sequence.push_back(std::move(element));
        }
    } else {
        ar.count(sequence.size(), sizeof(Element));
        for (auto& element : sequence) ar.field(element);
    }
}

}  // namespace detail

template <class E, class A>
struct ClassTraits<std::vector<E, A>> {
    static constexpr unsigned version = 0;
    static constexpr bool tracked = false;
    template <class Archive>
    static void serialize(Archive& ar, std::vector<E, A>& v, unsigned) {
        detail::serializeSequence(ar, v);
    }
};

template <class E, class A>
struct ClassTraits<std::deque<E, A>> {
    static constexpr unsigned version = 0;
    static constexpr bool tracked = false;
    template <class Archive>
    static void serialize(Archive& ar, std::deque<E, A>& d, unsigned) {
        detail::serializeSequence(ar, d);
    }
};

// A map entry as older writers stored it: a pair object (key, value).
template <class K, class V>
struct ClassTraits<std::pair<const K, V>> {
    static constexpr unsigned version = 0;
    static constexpr bool tracked = false;
};

// std::map<int, V>: the count, then key and value of each entry in ascending key order.
// Keys must ascend strictly on reading: this is what tells the two stored layouts apart.
template <class V, class C, class A>
struct ClassTraits<std::map<int, V, C, A>> {
    static constexpr unsigned version = 0;
    static constexpr bool tracked = false;
    template <class Archive>
    static void serialize(Archive& ar, std::map<int, V, C, A>& map, unsigned) {
        // A tree node: the entry and the node's links.
        constexpr uint64_t kNodeBytes = sizeof(std::pair<const int, V>) + 4 * sizeof(void*);
        if constexpr (Archive::isLoading) {
            const uint64_t n = ar.count(kNodeBytes);
            map.clear();
            for (uint64_t i = 0; i < n; ++i) {
                if (ar.layout().mapEntriesArePairObjects) 
                    ar.template classPreamble<std::pair<const int, V>>();
                const int key = ar.template integral<int>();
                if (!map.empty() && key <= map.rbegin()->first)
                    throw ArchiveError(ArchiveError::Kind::Inconsistent, "map keys out of order");
                V value{};
                ar.field(value);
                map.emplace_hint(map.end(), key, std::move(value));
            }
        } else {
            ar.count(map.size(), kNodeBytes);
            for (auto& [key, value] : map) {
                int k = key;
                ar.field(k);
                ar.field(value);
            }
        }
    }
};

// boost::shared_ptr<T>: a class of version 1 whose one field is the pointer.
template <class T>
struct ClassTraits<boost::shared_ptr<T>> {
    static constexpr unsigned version = 1;
    static constexpr bool tracked = false;
    template <class Archive>
    static void serialize(Archive& ar, boost::shared_ptr<T>& p, unsigned) {
        if constexpr (Archive::isLoading) ar.sharedPointer(p);
        else ar.pointer(static_cast<const T*>(p.get()));
    }
};

}  // namespace cmn::archive
