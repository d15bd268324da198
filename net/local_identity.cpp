#include "net/local_identity.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace net {

std::string loginName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    // Containers often run under a user id without a passwd entry.
    if (const char* user = std::getenv("USER")) return user;
    return {};
}

std::string localHostName() {
    char name[260] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

int32_t osBuildNumber() {
    utsname info{};
    if (uname(&info) != 0) return 0;
    long parts[3] = {0, 0, 0};
    const char* p = info.release;
    for (int i = 0; i < 3 && *p; ++i) {
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p) break;
        parts[i] = v < 0 ? 0 : (v > 999 ? 999 : v);
        p = end;
        if (*p != '.') break;
        ++p;
    }
    return static_cast<int32_t>(parts[0] * 1000000 + parts[1] * 1000 + parts[2]);
}

}  // namespace net
