// Where the popup goes: kept on the nearest monitor, and placed at a caret only when the answer
// can be trusted.

#include <gtest/gtest.h>

#include <vector>

#include "platform/popup_placement.h"

namespace {

using namespace platform;

// Two monitors side by side, the right one lower and smaller.
const std::vector<Rect> kMonitors{{0, 0, 1920, 1080}, {1920, 200, 3200, 1000}};

TEST(FitRectToMonitor, MovesBackOntoTheNearestMonitor) {
    struct Case {
        const char* name;
        Rect in, out;
    } cases[] = {
        {"inside stays", {100, 100, 400, 300}, {100, 100, 400, 300}},
        {"overflows right and bottom", {1800, 1000, 2000, 1200}, {1720, 880, 1920, 1080}},
        {"overflows left and top", {-50, -20, 250, 180}, {0, 0, 300, 200}},
        {"mostly on the right monitor: its edges", {2000, 900, 2400, 1150}, {2000, 750, 2400, 1000}},
        {"larger than the monitor ends at its left and top", {3000, 100, 4600, 1100}, {1920, 200, 3520, 1200}},
        {"off every monitor: the nearest", {3300, 500, 3400, 600}, {3100, 500, 3200, 600}},
    };
    for (const Case& c : cases) EXPECT_EQ(fitRectToMonitor(c.in, kMonitors), c.out) << c.name;
    EXPECT_EQ(fitRectToMonitor({5, 5, 10, 10}, {}), (Rect{5, 5, 10, 10}));
}

TEST(PopupAnchor, TheCaretOnlyWhenItsProcessIsTheFocusedWindowsAndItLiesInside) {
    const Rect window{100, 100, 900, 700};
    const CaretReport caret{42, {300, 250, 302, 268}};
    const Point pointer{500, 400};
    struct Case {
        const char* name;
        FocusFacts facts;
        Point anchor;
    } cases[] = {
        {"trusted caret", {window, 42, caret, pointer}, {300, 250}},
        {"another process answered", {window, 43, caret, pointer}, {500, 400}},
        {"window claims no process", {window, 0, CaretReport{0, caret.caret}, pointer}, {500, 400}},
        {"caret outside the window", {window, 42, CaretReport{42, {950, 250, 952, 268}}, pointer}, {500, 400}},
        {"no answer: the pointer", {window, 42, std::nullopt, pointer}, {500, 400}},
        {"pointer outside: the window's corner", {window, 42, std::nullopt, Point{50, 50}}, {100, 100}},
        {"nothing at all", {window, 42, std::nullopt, std::nullopt}, {100, 100}},
    };
    for (const Case& c : cases) EXPECT_EQ(popupAnchor(c.facts), c.anchor) << c.name;
}

}  // namespace
