#pragma once

// Between Qt's rectangles and the platform layer's (right and bottom exclusive), and the
// monitors as the platform layer's placement rules take them.

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <vector>

#include "platform/geometry.h"

inline platform::Rect toRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
inline QRect toQRect(const platform::Rect& r) { return QRect(r.left, r.top, r.width(), r.height()); }

// The full rectangle of every monitor (not the work area).
inline std::vector<platform::Rect> screenRects() {
    std::vector<platform::Rect> out;
    for (const QScreen* screen : QGuiApplication::screens()) out.push_back(toRect(screen->geometry()));
    return out;
}
