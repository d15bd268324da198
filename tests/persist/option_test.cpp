// Options stored as text: what each kind writes, and how text reads back.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "persist/config/option.h"

namespace {

using Options = cmn::option<int>;
using platform::Rect;
using platform::Size;

TEST(Option, EachKindWritesItsText) {
    struct Case {
        const char* kind;
        std::function<void(Options&)> set;
        std::string text;
    };
    const Case cases[] = {
        {"bool true", [](Options& o) { o.setBool(1, true); }, "1"},
        {"bool false", [](Options& o) { o.setBool(1, false); }, "0"},
        {"character", [](Options& o) { o.setChar(1, 'V'); }, "V"},
        {"integer", [](Options& o) { o.setInt(1, -42); }, "-42"},
        {"port", [](Options& o) { o.setPort(1, 45689); }, "45689"},
        {"rectangle", [](Options& o) { o.setRect(1, Rect{1125, 5, 1275, 305}); }, "1125 5 150 300"},
        {"negative rectangle", [](Options& o) { o.setRect(1, Rect{-10, -20, 0, 5}); },
         "-10 -20 10 25"},
        {"size", [](Options& o) { o.setSize(1, Size{150, 300}); }, "150 300"},
        {"text", [](Options& o) { o.setString(1, u"Gr\u00FC\u00DF \u20AC"); },
         "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        Options o;
        c.set(o);
        ASSERT_NE(o.text(1), nullptr) << c.kind;
        EXPECT_EQ(*o.text(1), c.text) << c.kind;
    }
}

TEST(Option, TextReadsBackAsEachKind) {
    Options o;
    o.setText(1, "1");
    o.setText(2, "0");
    o.setText(3, "  \tx yz");
    o.setText(4, "-17");
    o.setText(5, "8080");
    o.setText(6, "1125 5 150 300");
    o.setText(7, "150 300");
    o.setText(8, "Gr\xC3\xBC\xC3\x9F");

    EXPECT_TRUE(o.getBool(1));
    EXPECT_FALSE(o.getBool(2, true));
    EXPECT_EQ(o.getChar(3, '?'), 'x');  // the first non-blank character
    EXPECT_EQ(o.getInt(4), -17);
    EXPECT_EQ(o.getPort(5, 1), 8080);
    EXPECT_EQ(o.getRect(6, Rect{}), (Rect{1125, 5, 1275, 305}));
    EXPECT_EQ(o.getSize(7, Size{}), (Size{150, 300}));
    EXPECT_EQ(o.getString(8), u"Gr\u00FC\u00DF");
}

TEST(Option, AbsentEmptyOrUnreadableTextGivesTheDefault) {
    const Rect r0{1, 2, 3, 4};
    const Size s0{5, 6};
    // Absent (key 1), empty (key 2), blank (key 3), not a value of the kind (key 4).
    Options o;
    o.setText(2, "");
    o.setText(3, "   ");
    o.setText(4, "x");
    for (int key : {1, 2, 3, 4}) {
        EXPECT_FALSE(o.getBool(key)) << key;  // a bool never set is false
        EXPECT_TRUE(o.getBool(key, true)) << key;
        EXPECT_EQ(o.getInt(key, 7), 7) << key;
        EXPECT_EQ(o.getPort(key, 9), 9) << key;
        EXPECT_EQ(o.getRect(key, r0), r0) << key;
        EXPECT_EQ(o.getSize(key, s0), s0) << key;
    }
    for (int key : {1, 2, 3}) {
        EXPECT_EQ(o.getChar(key, 'B'), 'B') << key;
        EXPECT_EQ(o.getString(key, u"dflt"), key == 3 ? u"   " : u"dflt") << key;
    }
}

TEST(Option, OutOfRangeValuesFromAFileGiveTheDefault) {
    const Rect r0{1, 2, 3, 4};
    Options o;
    o.setText(1, "2");                            // a bool is "1" or "0"
    o.setText(2, "2147483647 0 1 1");             // right edge beyond int
    o.setText(3, "0 -2147483648 0 -1");           // bottom edge beyond int
    o.setText(4, "99999999999");                  // integer beyond int
    o.setText(5, "70000");                        // port beyond 16 bits
    EXPECT_TRUE(o.getBool(1, true));
    EXPECT_FALSE(o.getBool(1, false));
    EXPECT_EQ(o.getRect(2, r0), r0);
    EXPECT_EQ(o.getRect(3, r0), r0);
    EXPECT_EQ(o.getInt(4, 3), 3);
    EXPECT_EQ(o.getPort(5, 9), 9);
}

TEST(Option, RectangleWithCornersFarApartDoesNotOverflow) {
    Options o;
    o.setRect(1, Rect{-2147483647 - 1, 0, 2147483647, 10});
    EXPECT_EQ(*o.text(1), "-2147483648 0 4294967295 10");
    const Rect r0{1, 2, 3, 4};
    EXPECT_EQ(o.getRect(1, r0), r0);
}

}  // namespace
