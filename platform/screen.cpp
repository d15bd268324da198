#include "platform/screen.h"

#include <mutex>
#include <utility>

namespace platform {

namespace {
std::mutex& queryMutex() {
    static std::mutex m;
    return m;
}
ScreenWidthQuery& installedQuery() {
    static ScreenWidthQuery q;
    return q;
}
}  // namespace

void setScreenWidthQuery(ScreenWidthQuery query) {
    std::lock_guard lock(queryMutex());
    installedQuery() = std::move(query);
}

int primaryScreenWidth() {
    ScreenWidthQuery query;
    {
        std::lock_guard lock(queryMutex());
        query = installedQuery();
    }
    // Asked outside the lock: a backend may take its own locks while answering.
    const int width = query ? query() : 0;
    return width > 0 ? width : kFallbackScreenWidth;
}

}  // namespace platform
