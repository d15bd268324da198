#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>

#include "persist/archive/class_traits.h"
#include "persist/archive/error.h"
#include "persist/archive/field_kind.h"
#include "persist/archive/limits.h"

namespace cmn::archive {

// Writes the text archive (library version 3) token by token. Construction writes the header;
// finish() writes the final line feed and flushes. Stream failures throw ArchiveError.
//
// A writer never writes what its reader would refuse: it counts what it writes as the Reader
// counts what it reads, against the limits that reader will apply, and stops with an
// ArchiveError of kind LimitExceeded (the bytes written so far are to be discarded) before a
// string, block, collection, object or byte goes beyond them.
class Writer {
public:
    static constexpr bool isLoading = false;
    static constexpr unsigned kLibraryVersion = 3;

    // `readerLimits`: those of the reader that will read the archive; `maxBytes`: the most
    // archive text it may take.
    explicit Writer(std::ostream& out, const Limits& readerLimits = Limits::unbounded(),
                    uint64_t maxBytes = UINT64_MAX);
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Writes the final line feed and hands everything to the stream.
    void finish();

    template <class... Fields>
    void operator()(Fields&... fields) {
        (field(fields), ...);
    }

    template <class T>
    void field(T& value) {
        using detail::FieldKind;
        constexpr FieldKind kind = detail::fieldKind<T>();
        if constexpr (kind == FieldKind::Boolean) boolean(value);
        else if constexpr (kind == FieldKind::Integer) {
            if constexpr (std::is_signed_v<T>) signedInteger(value);
            else unsignedInteger(value);
        } else if constexpr (kind == FieldKind::String) string(value);
        else if constexpr (kind == FieldKind::ByteArray) byteArray(value.data(), value.size());
        else if constexpr (kind == FieldKind::Pointer) pointer(value);
        else if constexpr (kind == FieldKind::OwnedPointer) pointer(value.get());
        else object(value);
    }

    // An object by value: class preamble the first time, object id when tracked, then fields.
    template <class T>
    void object(const T& value);

    // The base part of a derived object, stored as a separate tracked object at the same address.
    template <class Base, class Derived>
    void baseObject(Derived& derived) {
        object<Base>(static_cast<const Base&>(derived));
    }

    template <class D>
    void pointer(const D* target);

    void signedInteger(int64_t value);
    void unsignedInteger(uint64_t value);
    void boolean(bool value) { unsignedInteger(value ? 1 : 0); }
    void string(std::string_view bytes);
    // The body of a binary block of n bytes (the size token comes first, written by the caller).
    void binary(const char* data, uint32_t n);
    void byteArray(const uint8_t* bytes, size_t n);
    // A collection's element count; each element counts as elementBytes, as the reader counts it.
    void count(uint64_t n, uint64_t elementBytes);
    // The archive text handed to the stream so far.
    uint64_t bytesWritten() const { return written_; }

private:
    struct ClassState {
        unsigned id;
        bool preambleWritten = false;
    };
    struct ObjectKey {
        const void* address;
        std::type_index type;
        bool operator==(const ObjectKey&) const = default;
    };
    struct ObjectKeyHash {
        size_t operator()(const ObjectKey& k) const {
            return std::hash<const void*>()(k.address) ^ (k.type.hash_code() * 31);
        }
    };

    ClassState& classState(std::type_index type, bool* isNew = nullptr);
    void preamble(ClassState& state, bool tracked, unsigned version);
    // Writes the object id; returns false when the object was written before (a reference).
    bool objectId(const void* address, std::type_index type);
    void beginToken();
    void flushIfFull();
    void flush();
    void writeOut(const char* data, size_t n);
    void rawString(std::string_view bytes);
    // Counts bytes the reader will build against its maxBuiltBytes.
    void charge(uint64_t bytes);
    [[noreturn]] static void refuse(const char* what);

    std::ostream& out_;
    const Limits limits_;
    const uint64_t maxBytes_;
    uint64_t written_ = 0;
    uint64_t built_ = 0;
    std::string buffer_;
    bool first_ = true;
    char delimiter_ = ' ';
    std::unordered_map<std::type_index, ClassState> classes_;
    std::unordered_map<ObjectKey, unsigned, ObjectKeyHash> objects_;
    unsigned nextObjectId_ = 0;
};

template <class T>
void Writer::object(const T& value) {
    using Traits = ClassTraits<T>;
    ClassState& state = classState(typeid(T));
    preamble(state, Traits::tracked, Traits::version);
    if constexpr (Traits::tracked) {
        if (!objectId(&value, typeid(T))) return;
    }
    Traits::serialize(*this, const_cast<T&>(value), Traits::version);
}

template <class D>
void Writer::pointer(const D* target) {
    if constexpr (!PolymorphicBase<D>::abstract) classState(typeid(D));
    if (target == nullptr) {
        signedInteger(-1);
        return;
    }
    std::type_index type = typeid(D);
    if constexpr (std::is_polymorphic_v<D>) type = typeid(*target);

    if constexpr (!PolymorphicBase<D>::abstract) {
        if (type == std::type_index(typeid(D))) {
            using Traits = ClassTraits<D>;
            ClassState& state = classState(type);
            unsignedInteger(state.id);
            preamble(state, Traits::tracked, Traits::version);
            if (Traits::tracked && !objectId(target, type)) return;
            charge(sizeof(D) + kObjectOverheadBytes);
            Traits::serialize(*this, const_cast<D&>(*target), Traits::version);
            return;
        }
    }
    if constexpr (isPolymorphicBase<D>) {
        const auto* entry = PolymorphicBase<D>::registry().findByType(type);
        if (entry == nullptr)
            throw ArchiveError(ArchiveError::Kind::UnregisteredClass,
                               std::string("class without archive key: ") + type.name());
        bool isNew = false;
        ClassState& state = classState(type, &isNew);
        unsignedInteger(state.id);
        if (isNew) string(entry->key);
        preamble(state, entry->tracked, entry->version);
        const void* complete = dynamic_cast<const void*>(target);
        if (entry->tracked && !objectId(complete, type)) return;
        charge(entry->size + kObjectOverheadBytes);
        entry->save(*this, const_cast<D&>(*target), entry->version);
    } else {
        throw ArchiveError(ArchiveError::Kind::UnregisteredClass,
                           std::string("pointer to a derived class of a non-polymorphic base: ") +
                               type.name());
    }
}

}  // namespace cmn::archive
