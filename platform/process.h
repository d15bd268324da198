#pragma once

#include <cstdint>

namespace platform {

// The id of this process, as other processes see it.
uint32_t currentProcessId();

}  // namespace platform
