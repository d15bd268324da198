#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// An enhanced metafile, named by an opaque handle (the clipboard's CF_ENHMETAFILE medium).
// We never play metafiles, so one is just its bytes: what goes in comes out unchanged.
enum class EnhMetaFileHandle : uintptr_t {};

// A metafile holding a copy of the n bytes at bits; null for no bytes.
EnhMetaFileHandle setEnhMetaFileBits(uint32_t n, const void* bits);

// With a null buffer: the metafile's size in bytes. Otherwise copies the whole metafile into
// the buffer and returns its size, or returns 0 (copying nothing) when the buffer is smaller.
// 0 for an unknown handle.
uint32_t getEnhMetaFileBits(EnhMetaFileHandle handle, uint32_t bufferBytes, void* buffer);

// False for an unknown handle.
bool deleteEnhMetaFile(EnhMetaFileHandle handle);

// Live metafiles, for tests that check nothing leaks.
size_t enhMetaFileCount();

}  // namespace platform
