#pragma once

#include <cstdint>

// Version 4.0.803 as one number (major * 1000000 + minor * 1000 + build). Files and network
// messages carry it; no reader checks it.
inline constexpr int32_t kAppVersionNumber = 4000803;
