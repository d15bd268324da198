#include "platform/enh_metafile.h"

#include <cstring>
#include <vector>

#include "platform/handle_table.h"

namespace platform {

namespace {

detail::HandleTable<std::vector<unsigned char>>& metafiles() {
    static detail::HandleTable<std::vector<unsigned char>> table;
    return table;
}

}  // namespace

EnhMetaFileHandle setEnhMetaFileBits(uint32_t n, const void* bits) {
    if (n == 0 || bits == nullptr) return EnhMetaFileHandle{};
    const auto* p = static_cast<const unsigned char*>(bits);
    return EnhMetaFileHandle{metafiles().add(std::vector<unsigned char>(p, p + n))};
}

uint32_t getEnhMetaFileBits(EnhMetaFileHandle handle, uint32_t bufferBytes, void* buffer) {
    uint32_t result = 0;
    metafiles().with(static_cast<uintptr_t>(handle), [&](const std::vector<unsigned char>& bits) {
        const auto n = static_cast<uint32_t>(bits.size());
        if (buffer == nullptr) {
            result = n;
        } else if (bufferBytes >= n) {
            std::memcpy(buffer, bits.data(), n);
            result = n;
        }
    });
    return result;
}

bool deleteEnhMetaFile(EnhMetaFileHandle handle) {
    return metafiles().remove(static_cast<uintptr_t>(handle));
}

size_t enhMetaFileCount() { return metafiles().count(); }

}  // namespace platform
