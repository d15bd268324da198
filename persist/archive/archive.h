#pragma once

// The one archive format of every file, record payload and network message.

#include <istream>
#include <ostream>

#include "persist/archive/collections.h"
#include "persist/archive/limits.h"
#include "persist/archive/reader.h"
#include "persist/archive/writer.h"

namespace cmn::archive {

// A complete archive holding one object by value.
template <class T>
void save(const T& object, std::ostream& out) {
    Writer writer(out);
    writer.object(object);
    writer.finish();
}

template <class T>
void load(T& object, std::istream& in, const Limits& limits) {
    Reader reader(in, limits);
    reader.object(object);
}

}  // namespace cmn::archive
