#pragma once

#include <array>
#include <cstdint>

namespace platform {

// Names an interface of a data-transfer object, in GUID layout, with the documented values of
// the interfaces other programs ask our objects for.
struct InterfaceId {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
    bool operator==(const InterfaceId&) const = default;
};

inline constexpr InterfaceId IID_IUnknown{0x00000000, 0x0000, 0x0000,
                                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId IID_IDataObject{0x0000010E, 0x0000, 0x0000,
                                             {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId IID_IEnumFORMATETC{0x00000103, 0x0000, 0x0000,
                                                {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace platform
