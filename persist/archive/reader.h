#pragma once

#include <array>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <istream>
#include <limits>
#include <memory>
#include <string>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "persist/archive/class_traits.h"
#include "persist/archive/error.h"
#include "persist/archive/field_kind.h"
#include "persist/archive/limits.h"

namespace cmn::archive {

// Layout variants that real files may use.
struct ReaderLayout {
    // Each entry of a std::map is stored as a std::pair object (class preamble before the first
    // entry), as older writers did.
    bool mapEntriesArePairObjects = false;
};

// Reads the text archive (library versions up to 3). The input is untrusted: every count and
// size is checked against the limits before anything is allocated for it, and every class id,
// object id and class key must refer to something known.
//
// The input is scanned in place, inside the stream buffer's own buffer: the reader takes what it
// consumed out of the stream buffer when it needs more and when it is destroyed, so the stream
// stands right after the archive's last token afterwards.
//
// Objects created through plain pointers belong to the reader until their owner adopts them;
// whatever is not adopted when the reader is destroyed (a load that failed half way) is deleted.
class Reader {
public:
    static constexpr bool isLoading = true;
    static constexpr unsigned kMaxLibraryVersion = 3;

    using Layout = ReaderLayout;

    // Reads and checks the header.
    Reader(std::istream& in, const Limits& limits, Layout layout = Layout());
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const Limits& limits() const { return limits_; }
    const Layout& layout() const { return layout_; }
    unsigned libraryVersion() const { return libraryVersion_; }

    template <class... Fields>
    void operator()(Fields&... fields) {
        (field(fields), ...);
    }

    template <class T>
    void field(T& value) {
        using detail::FieldKind;
        constexpr FieldKind kind = detail::fieldKind<T>();
        if constexpr (kind == FieldKind::Boolean) value = boolean();
        else if constexpr (kind == FieldKind::Integer) value = integral<T>();
        else if constexpr (kind == FieldKind::String) string(value);
        else if constexpr (kind == FieldKind::ByteArray) byteArray(value.data(), value.size());
        else if constexpr (kind == FieldKind::Pointer) pointer(value);
        else if constexpr (kind == FieldKind::OwnedPointer) {
            typename T::element_type* raw = nullptr;
            pointer(raw);
            adopt(raw);
            value.reset(raw);
        } else object(value);
    }

    template <class T>
    void object(T& value);

    template <class Base, class Derived>
    void baseObject(Derived& derived) {
        object<Base>(static_cast<Base&>(derived));
    }

    // A pointer whose new target stays owned by the reader until adopted.
    template <class D>
    void pointer(D*& target);

    // A pointer held by shared owners: every reference to the same object yields the same owner.
    template <class T>
    void sharedPointer(boost::shared_ptr<T>& target);

    // The caller takes ownership of an object this reader created through a pointer. Adopting an
    // object twice, or one the reader does not hold, means the data gave one object two owners.
    template <class D>
    void adopt(D* target);

    template <class T>
    T integral() {
        return static_cast<T>(
            integer(std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
    }
    int64_t integer(int64_t min, int64_t max);
    bool boolean();
    void string(std::string& out);
    // The body of a binary block of n bytes (the size token came first); null when n is 0. The
    // buffer grows with the bytes that arrive, so a lying size costs little.
    std::unique_ptr<char[]> binary(uint32_t n);
    void byteArray(uint8_t* bytes, size_t n);
    // A collection's element count, checked against the limits; each element is charged at
    // elementBytes before any is read.
    uint64_t count(uint64_t elementBytes);
    // Counts bytes that the load is about to build against maxBuiltBytes.
    void charge(uint64_t bytes);
    // Enters a class that has no fields of its own here (a map entry pair) and reads its preamble.
    template <class T>
    void classPreamble() {
        preamble(classes_[classId(typeid(T))], ClassTraits<T>::tracked, ClassTraits<T>::version);
    }

private:
    struct ClassEntry {
        std::type_index type;
        bool preambleRead = false;
        bool tracked = false;
        unsigned version = 0;
    };
    struct ObjectEntry {
        void* address;  // the complete object
        std::type_index type;
    };
    enum class Ownership { Reader, Shared };

    size_t classId(std::type_index type);
    void preamble(ClassEntry& entry, bool tracked, unsigned knownVersion);
    // Reads an object id. Returns the index of an earlier object, or objects_.size() for a new one.
    size_t objectId();
    void addObject(void* address, std::type_index type);
    template <class D>
    D* loadPointer(Ownership ownership, boost::shared_ptr<D>* shared);
    int peekAfterWhitespace();
    // The next byte without taking it, or eof.
    int peek() {
        return cur_ != end_ || fill() ? static_cast<unsigned char>(*cur_)
                                      : std::char_traits<char>::eof();
    }
    // Makes the window hold at least one byte; false at the end of the input.
    bool fill();
    // Moves the stream buffer's read position to cur_.
    void release();
    [[noreturn]] void fail(ArchiveError::Kind kind, const std::string& what) const;

    std::streambuf* in_;
    // The unread bytes at hand: [cur_, end_) inside the stream buffer's get area, whose read
    // position still stands at base_; or, for a stream buffer that keeps no get area, a copy of
    // its next byte in oneByte_ (base_ null), taken from it once the reader moved past it.
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    char* base_ = nullptr;
    char oneByte_ = 0;
    Limits limits_;
    Layout layout_;
    unsigned libraryVersion_ = 0;
    std::vector<ClassEntry> classes_;
    std::unordered_map<std::type_index, size_t> classIds_;
    std::vector<ObjectEntry> objects_;
    std::unordered_map<size_t, boost::shared_ptr<void>> shared_;
    std::unordered_map<void*, void (*)(void*)> arena_;
    uint64_t built_ = 0;
};

template <class T>
void Reader::object(T& value) {
    using Traits = ClassTraits<T>;
    ClassEntry& entry = classes_[classId(typeid(T))];
    preamble(entry, Traits::tracked, Traits::version);
    const unsigned version = entry.version;
    if constexpr (Traits::tracked) {
        if (objectId() != objects_.size())
            fail(ArchiveError::Kind::InvalidObjectId, "an object stored by value is a reference");
        addObject(&value, typeid(T));
    }
    Traits::serialize(*this, value, version);
}

template <class D>
void Reader::pointer(D*& target) {
    target = loadPointer<D>(Ownership::Reader, nullptr);
}

template <class T>
void Reader::sharedPointer(boost::shared_ptr<T>& target) {
    static_assert(!isPolymorphicBase<T>, "shared pointers to polymorphic classes are not stored");
    boost::shared_ptr<T> loaded;
    loadPointer<T>(Ownership::Shared, &loaded);
    target = std::move(loaded);
}

template <class D>
void Reader::adopt(D* target) {
    if (target == nullptr) return;
    void* complete = target;
    if constexpr (std::is_polymorphic_v<D>) complete = dynamic_cast<void*>(target);
    if (arena_.erase(complete) == 0)
        fail(ArchiveError::Kind::Inconsistent, "an object has two owners");
}

template <class D>
D* Reader::loadPointer(Ownership ownership, boost::shared_ptr<D>* shared) {
    if constexpr (!PolymorphicBase<D>::abstract) classId(typeid(D));
    const int64_t id = integer(-1, std::numeric_limits<int32_t>::max());
    if (id == -1) return nullptr;

    const PolymorphicEntry<D>* derived = nullptr;
    size_t cid = static_cast<size_t>(id);
    if (cid > classes_.size()) fail(ArchiveError::Kind::InvalidClassId, "unknown class id");
    if (cid == classes_.size()) {
        if constexpr (isPolymorphicBase<D>) {
            std::string key;
            string(key);
            derived = PolymorphicBase<D>::registry().findByKey(key);
            if (derived == nullptr) fail(ArchiveError::Kind::UnregisteredClass, "unknown class key");
            if (classIds_.count(derived->type))
                fail(ArchiveError::Kind::ClassMismatch, "class key of a class already known");
            classIds_.emplace(derived->type, classes_.size());
            ClassEntry entry{derived->type};
            classes_.push_back(entry);
        } else {
            fail(ArchiveError::Kind::InvalidClassId, "unknown class id");
        }
    } else if (classes_[cid].type != std::type_index(typeid(D))) {
        if constexpr (isPolymorphicBase<D>)
            derived = PolymorphicBase<D>::registry().findByType(classes_[cid].type);
        if (derived == nullptr)
            fail(ArchiveError::Kind::ClassMismatch, "pointer to an object of another class");
    }

    bool tracked = false;
    unsigned knownVersion = 0;
    if (derived) {
        tracked = derived->tracked;
        knownVersion = derived->version;
    } else if constexpr (!PolymorphicBase<D>::abstract) {
        tracked = ClassTraits<D>::tracked;
        knownVersion = ClassTraits<D>::version;
    } else {
        fail(ArchiveError::Kind::ClassMismatch, "pointer to an object of another class");
    }
    preamble(classes_[cid], tracked, knownVersion);
    const unsigned version = classes_[cid].version;
    const std::type_index type = classes_[cid].type;

    size_t oid = objects_.size();
    if (tracked) {
        oid = objectId();
        if (oid < objects_.size()) {
            const ObjectEntry& earlier = objects_[oid];
            if (earlier.type != type)
                fail(ArchiveError::Kind::ClassMismatch, "reference to an object of another class");
            if (ownership == Ownership::Shared) {
                auto it = shared_.find(oid);
                if (it == shared_.end())
                    fail(ArchiveError::Kind::Inconsistent, "shared reference to a plain object");
                *shared = boost::static_pointer_cast<D>(it->second);
                return shared->get();
            }
            if (shared_.count(oid))
                fail(ArchiveError::Kind::Inconsistent, "plain reference to a shared object");
            if (derived == nullptr) return static_cast<D*>(earlier.address);
            return static_cast<D*>(derived->upcast(earlier.address));
        }
    }

    if (derived) charge(derived->size + kObjectOverheadBytes);
    else charge(sizeof(D) + kObjectOverheadBytes);
    D* created = nullptr;
    if (derived) created = derived->create();
    else if constexpr (!PolymorphicBase<D>::abstract) created = new D();
    void* complete = created;
    if constexpr (std::is_polymorphic_v<D>) complete = dynamic_cast<void*>(created);
    if (ownership == Ownership::Shared) {
        *shared = boost::shared_ptr<D>(created);
        if (tracked) shared_.emplace(objects_.size(), *shared);
    } else {
        arena_.emplace(complete, derived ? derived->destroy
                                         : [](void* p) { delete static_cast<D*>(p); });
    }
    if (tracked) addObject(complete, type);

    if (derived) derived->load(*this, *created, version);
    else if constexpr (!PolymorphicBase<D>::abstract) ClassTraits<D>::serialize(*this, *created, version);
    return created;
}

}  // namespace cmn::archive
