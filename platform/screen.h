#pragma once

#include <functional>

namespace platform {

// The primary screen's width feeds the default position of the floating window. The core cannot
// ask a display server itself, so the platform backend installs a query once it is connected.
inline constexpr int kFallbackScreenWidth = 1920;

// A query that returns the primary screen's width in pixels, or 0 when it cannot tell.
using ScreenWidthQuery = std::function<int()>;

// Installs the backend's query; an empty function removes it. Safe to call from any thread.
void setScreenWidthQuery(ScreenWidthQuery query);

// The width reported by the installed query. Returns kFallbackScreenWidth when no backend has
// installed a query, or when the query answers with a width that is not positive (no display).
int primaryScreenWidth();

}  // namespace platform
