#include "platform/popup_placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace platform {

namespace {

int64_t overlapArea(const Rect& a, const Rect& b) {
    const int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// Squared distance between the rectangles (0 when they touch or overlap).
int64_t distance2(const Rect& a, const Rect& b) {
    const int64_t dx = std::max<int64_t>({0, int64_t{b.left} - a.right, int64_t{a.left} - b.right});
    const int64_t dy = std::max<int64_t>({0, int64_t{b.top} - a.bottom, int64_t{a.top} - b.bottom});
    return dx * dx + dy * dy;
}

bool contains(const Rect& r, Point p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

}  // namespace

const Rect* nearestMonitor(const Rect& rect, std::span<const Rect> monitors) {
    const Rect* best = nullptr;
    int64_t bestArea = 0;
    for (const Rect& m : monitors) {
        const int64_t area = overlapArea(rect, m);
        if (area > bestArea) best = &m, bestArea = area;
    }
    if (best) return best;
    int64_t bestDistance = std::numeric_limits<int64_t>::max();
    for (const Rect& m : monitors) {
        const int64_t d = distance2(rect, m);
        if (d < bestDistance) best = &m, bestDistance = d;
    }
    return best;
}

Rect fitRectToMonitor(const Rect& rect, std::span<const Rect> monitors) {
    const Rect* monitor = nearestMonitor(rect, monitors);
    if (!monitor) return rect;
    Rect r = rect;
    auto moveX = [&](int dx) { r.left += dx, r.right += dx; };
    auto moveY = [&](int dy) { r.top += dy, r.bottom += dy; };
    if (r.right > monitor->right) moveX(monitor->right - r.right);
    if (r.left < monitor->left) moveX(monitor->left - r.left);
    if (r.bottom > monitor->bottom) moveY(monitor->bottom - r.bottom);
    if (r.top < monitor->top) moveY(monitor->top - r.top);
    return r;
}

Point popupAnchor(const FocusFacts& f) {
    if (f.caret && f.process != 0 && f.caret->process == f.process) {
        const Point corner{f.caret->caret.left, f.caret->caret.top};
        if (contains(f.window, corner)) return corner;
    }
    if (f.pointer && contains(f.window, *f.pointer)) return *f.pointer;
    return {f.window.left, f.window.top};
}

}  // namespace platform
