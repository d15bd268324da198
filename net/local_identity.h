#pragma once

#include <cstdint>
#include <string>

namespace net {

// The login name of the user running the program (UTF-8); empty when it cannot be found.
std::string loginName();

// This computer's name as the system reports it (UTF-8); empty when it cannot be found.
std::string localHostName();

// The running kernel's version packed like our own version number (major * 1000000 +
// minor * 1000 + patch, 6.1.76 giving 6001076): what the version check sends as the
// operating system's build. 0 when it cannot be read.
int32_t osBuildNumber();

}  // namespace net
