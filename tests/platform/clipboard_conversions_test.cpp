#include "platform/clipboard_conversions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/clipboard_formats.h"
#include "platform/global_memory.h"
#include "platform/clipboard_snapshot.h"
#include "tests/x11/sample_pictures.h"

namespace {

using namespace platform;
using namespace std::string_literals;
using x11test::kRgbPng;

std::string le32(uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
            static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

std::string le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

// A 40-byte BITMAPINFOHEADER, little-endian.
std::string infoHeader(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                       uint32_t sizeImage, uint32_t clrUsed, int32_t ppm = 2835) {
    return le32(40) + le32(static_cast<uint32_t>(width)) + le32(static_cast<uint32_t>(height)) + le16(1) +
           le16(bpp) + le32(compression) + le32(sizeImage) + le32(static_cast<uint32_t>(ppm)) +
           le32(static_cast<uint32_t>(ppm)) + le32(clrUsed) + le32(0);
}

// The same picture as a packed DIB: bottom-up rows of BGR triples padded to 12 bytes.
const std::string kRgbDib = infoHeader(3, 2, 24, 0, 24, 0) +
                            bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x30, 0x20, 0x10, 0, 0, 0,
                                   0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0, 0, 0});

// 1x1 RGBA PNG, pixel #112233 with alpha 0x80.
const std::string kRgbaPng =
    "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01"
    "\x08\x06\x00\x00\x00\x1F\x15\xC4\x89\x00\x00\x00\x09\x70\x48\x59\x73\x00\x00\x0B\x13\x00\x00\x0B"
    "\x13\x01\x00\x9A\x9C\x18\x00\x00\x00\x10\x49\x44\x41\x54\x78\x01\x01\x05\x00\xFA\xFF\x00\x11\x22"
    "\x33\x80\x01\x95\x00\xE7\xB3\x85\xD1\x71\x00\x00\x00\x00\x49\x45\x4E\x44\xAE\x42\x60\x82"s;

// ---- formats and the reading plan

TEST(ClipboardConversions, WindowsFormatNumbers) {
    const auto& r = platform::registeredFormats();
    const std::pair<WinFormat, platform::ClipFormat> cases[] = {
        {WinFormat::UnicodeText, 13}, {WinFormat::Text, 1},
        {WinFormat::Dib, 8},          {WinFormat::HDrop, 15},
        {WinFormat::Html, r.html},    {WinFormat::Rtf, r.rtf},
        {WinFormat::Csv, r.csv},      {WinFormat::PreferredDropEffect, r.preferredDropEffect},
        {WinFormat::QuilletTag, r.quilletTag}, {WinFormat::Png, r.png},
    };
    for (const auto& [format, number] : cases) {
        EXPECT_EQ(clipFormat(format), number);
        EXPECT_EQ(winFormatOf(number), format);
    }
    EXPECT_FALSE(winFormatOf(platform::CF_LOCALE));
}

TEST(ClipboardConversions, PlanFollowsTheOwnersOrderAndPrefersTheBestTarget) {
    const std::vector<std::string> offered = {
        "TIMESTAMP", "TARGETS", "MULTIPLE", "text/html", "STRING", "UTF8_STRING", "image/bmp",
        "image/png", "text/uri-list", "x-special/gnome-copied-files", "application/rtf",
        "text/rtf", "SAVE_TARGETS", "text/csv", "x-kde-passwordManagerHint"};
    const std::vector<TargetPlan> expected = {
        {WinFormat::Html, {"text/html"}},
        {WinFormat::UnicodeText, {"UTF8_STRING", "STRING"}},
        {WinFormat::Dib, {"image/png", "image/bmp"}},
        {WinFormat::Png, {"image/png"}},
        {WinFormat::HDrop, {"text/uri-list"}},
        {WinFormat::PreferredDropEffect, {"x-special/gnome-copied-files"}},
        {WinFormat::Rtf, {"text/rtf", "application/rtf"}},
        {WinFormat::Csv, {"text/csv"}},
    };
    EXPECT_EQ(planRead(offered), expected);
    EXPECT_TRUE(planRead(std::vector<std::string>{"TARGETS", "TIMESTAMP", "COMPOUND_TEXT"}).empty());
    // Plain text/plain is UTF-8 text too, before Latin-1.
    const std::vector<TargetPlan> plainExpected = {{WinFormat::UnicodeText, {"text/plain", "STRING"}}};
    EXPECT_EQ(planRead(std::vector<std::string>{"STRING", "text/plain"}), plainExpected);
    EXPECT_EQ(textToUnicodeText("text/plain", "caf\xC3\xA9"), "c\0a\0f\0\xE9\0\0\0"s);
    // MIME types are matched without regard to case; the text/plain variant too.
    const std::vector<std::string> mixedCase = {"Text/Plain;Charset=UTF-8", "TEXT/HTML"};
    const std::vector<TargetPlan> mixedExpected = {{WinFormat::UnicodeText, {"Text/Plain;Charset=UTF-8"}},
                                                   {WinFormat::Html, {"TEXT/HTML"}}};
    EXPECT_EQ(planRead(mixedCase), mixedExpected);
}

TEST(ClipboardConversions, OwnTagAndPasswordHint) {
    const std::vector<std::string> ours = {"TARGETS", "UTF8_STRING", std::string(target::kQuilletTag)};
    EXPECT_TRUE(offersQuilletTag(ours));
    EXPECT_FALSE(offersQuilletTag(std::vector<std::string>{"UTF8_STRING"}));

    EXPECT_EQ(passwordHintTarget(std::vector<std::string>{"UTF8_STRING", "x-kde-passwordManagerHint"}),
              "x-kde-passwordManagerHint");
    EXPECT_EQ(passwordHintTarget(std::vector<std::string>{"text/x-kde-passwordManagerHint"}),
              "text/x-kde-passwordManagerHint");
    EXPECT_FALSE(passwordHintTarget(std::vector<std::string>{"UTF8_STRING"}));

    for (const std::string& v : {"secret"s, "secret\n"s, "secret\r\n"s, "secret\0"s})
        EXPECT_TRUE(isSecretHint(v)) << v;
    for (const std::string& v : {"Secret"s, "public"s, ""s, "secrets"s, " secret"s})
        EXPECT_FALSE(isSecretHint(v)) << v;
}

// ---- text

TEST(ClipboardConversions, TextTargetsToUnicodeText) {
    struct Case {
        std::string target;
        std::string data;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"UTF8_STRING", "h\xC3\xA9\xE2\x82\xAC", "h\0\xE9\0\xAC\x20\0\0"s},
        {"text/plain;charset=utf-8", "ab", "a\0b\0\0\0"s},
        {"STRING", "\xE9\x80", "\xE9\0\x80\0\0\0"s},           // Latin-1: every byte is its code point
        {"UTF8_STRING", "a\0b"s, "a\0\0\0"s},                    // the text ends at a NUL
        {"UTF8_STRING", "\xF0\x9F\x98\x80", "\x3D\xD8\x00\xDE\0\0"s},  // a surrogate pair
        {"UTF8_STRING", "", "\0\0"s},
        {"COMPOUND_TEXT", "x", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textToUnicodeText(c.target, c.data), c.expected) << c.target << " " << c.data;
        if (c.expected) {
            EXPECT_EQ(toWindows(WinFormat::UnicodeText, c.target, c.data), c.expected);
        }
    }
    EXPECT_EQ(toWindows(WinFormat::UnicodeText, "text/html", "x"), std::nullopt);
    EXPECT_EQ(unicodeTextToAnsiText("A\0\xAC\x20\0\0"s), "A\x80\0"s);
}

TEST(ClipboardConversions, UnicodeTextToTextTargets) {
    const std::string unicode = "h\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE\0\0tail"s;  // h é € 😀, NUL, more
    EXPECT_EQ(unicodeTextToTarget("UTF8_STRING", unicode), "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(unicodeTextToTarget("text/plain;charset=utf-8", unicode), "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(unicodeTextToTarget("STRING", unicode), "h\xE9??");
    EXPECT_EQ(unicodeTextToTarget("STRING", "a\0b"s), "a");  // an odd last byte is no character
    EXPECT_EQ(unicodeTextToTarget("text/html", unicode), std::nullopt);
}

// ---- HTML

const std::string kWrappedHeader =
    "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000186\r\n"
    "StartFragment:0000000141\r\nEndFragment:0000000150\r\n";
const std::string kWrappedMarkup =
    "<html>\r\n<body>\r\n<!--StartFragment--><b>\xC3\xA9</b><!--EndFragment-->\r\n</body>\r\n</html>";

TEST(ClipboardConversions, HtmlToHtmlFormat) {
    struct Case {
        const char* what;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"a fragment is wrapped in a body", "<b>\xC3\xA9</b>", kWrappedHeader + kWrappedMarkup},
        {"a UTF-8 byte-order mark is dropped", "\xEF\xBB\xBF<b>\xC3\xA9</b>", kWrappedHeader + kWrappedMarkup},
        {"UTF-16LE with a byte-order mark", "\xFF\xFE<\0b\0>\0\xE9\0<\0/\0b\0>\0"s, kWrappedHeader + kWrappedMarkup},
        {"UTF-16BE with a byte-order mark", "\xFE\xFF\0<\0b\0>\0\xE9\0<\0/\0b\0>"s, kWrappedHeader + kWrappedMarkup},
        {"UTF-16LE without a mark, NUL-terminated", "<\0b\0>\0\xE9\0<\0/\0b\0>\0\0\0"s,
         kWrappedHeader + kWrappedMarkup},
        {"UTF-8 with a terminating NUL", "<b>\xC3\xA9</b>\0"s, kWrappedHeader + kWrappedMarkup},
        {"marked fragment kept",
         "<html><body><!--StartFragment-->hi<!--EndFragment--></body></html>",
         "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000171\r\n"
         "StartFragment:0000000137\r\nEndFragment:0000000139\r\n"
         "<html><body><!--StartFragment-->hi<!--EndFragment--></body></html>"},
        {"a body's content is marked",
         "<html><BODY class=\"a\">hi</body></html>",
         "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000181\r\n"
         "StartFragment:0000000147\r\nEndFragment:0000000149\r\n"
         "<html><BODY class=\"a\"><!--StartFragment-->hi<!--EndFragment--></body></html>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(htmlToHtmlFormat(c.input), c.expected) << c.what;
        EXPECT_EQ(toWindows(WinFormat::Html, "text/html", c.input), c.expected) << c.what;
    }
}

TEST(ClipboardConversions, HtmlFormatToMarkup) {
    struct Case {
        const char* what;
        std::string input;
        std::optional<std::string> expected;
    };
    const std::string fragmentOnly =
        "Version:1.0\r\nStartHTML:-1\r\nEndHTML:-1\r\nStartFragment:0000000092\r\nEndFragment:0000000094\r\n"
        "<p>hi</p>";
    const Case cases[] = {
        {"the header is stripped", kWrappedHeader + kWrappedMarkup, kWrappedMarkup},
        {"a trailing NUL is dropped", kWrappedHeader + kWrappedMarkup + "\0"s, kWrappedMarkup},
        {"StartHTML -1 leaves the fragment", fragmentOnly, "hi"},
        {"LF line ends and extra keys",
         "Version:0.9\nStartHTML:71\nEndHTML:80\nSourceURL:http://x/\nStartFragment:74\nEndFragment:76\n<b>hi</b>",
         "<b>hi</b>"},
        {"offsets beyond the data: what follows the header",
         "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000099999\r\n<i>x</i>", "<i>x</i>"},
        {"offsets inside the header are refused",
         "Version:0.9\r\nStartHTML:0000000000\r\nEndHTML:0000000005\r\n<i>x</i>", "<i>x</i>"},
        {"no header: the bytes are the markup", "<b>x</b>", "<b>x</b>"},
        {"nothing", "", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(htmlFormatToHtml(c.input), c.expected) << c.what;
    // What we write, we read back.
    EXPECT_EQ(htmlFormatToHtml(htmlToHtmlFormat("<u>z</u>")),
              "<html>\r\n<body>\r\n<!--StartFragment--><u>z</u><!--EndFragment-->\r\n</body>\r\n</html>");
}

// ---- rich text and CSV

TEST(ClipboardConversions, RtfAndCsvPassUnchanged) {
    const std::string rtf = "{\\rtf1\\ansi x}\0"s;
    for (const char* t : {"text/rtf", "text/richtext", "application/rtf"})
        EXPECT_EQ(toWindows(WinFormat::Rtf, t, rtf), rtf) << t;
    EXPECT_EQ(toWindows(WinFormat::Csv, "text/csv", "a,b\r\n1,2"), "a,b\r\n1,2");
    EXPECT_EQ(toWindows(WinFormat::Csv, "text/rtf", "a,b"), std::nullopt);
}

// ---- pictures

TEST(ClipboardConversions, PngAndBmpToDib) {
    EXPECT_EQ(imageToDib("image/png", kRgbPng), kRgbDib);
    EXPECT_EQ(toWindows(WinFormat::Dib, "image/png", kRgbPng), kRgbDib);
    EXPECT_EQ(imageToDib("image/png", kRgbaPng), infoHeader(1, 1, 32, 0, 4, 0) + bytes({0x33, 0x22, 0x11, 0x80}));

    // A BMP file is its 14-byte file header followed by the packed DIB.
    const std::string dib = infoHeader(2, 2, 24, 0, 16, 0) +
                            bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    const std::string bmp = "BM"s + le32(70) + le32(0) + le32(54) + dib;
    EXPECT_EQ(imageToDib("image/bmp", bmp), dib);
    EXPECT_EQ(dibToBmp(dib), bmp);
}

TEST(ClipboardConversions, PicturesThatAreRefused) {
    EXPECT_EQ(imageToDib("image/png", ""), std::nullopt);
    EXPECT_EQ(imageToDib("image/png", kRgbPng.substr(0, 60)), std::nullopt);  // cut short
    EXPECT_EQ(imageToDib("image/bmp", kRgbPng), std::nullopt);                 // not what the target says
    EXPECT_EQ(imageToDib("image/jpeg", kRgbPng), std::nullopt);
    EXPECT_EQ(imageToDib("image/png", kRgbPng, /*maxDibBytes=*/23), std::nullopt);
    EXPECT_EQ(imageToDib("image/png", kRgbPng, /*maxDibBytes=*/24), kRgbDib);

    // DIBs whose header promises more than the bytes hold, or that we cannot lay out.
    const std::string cases[] = {
        infoHeader(3, 2, 24, 0, 24, 0) + std::string(23, '\0'),  // rows cut short
        infoHeader(0, 2, 24, 0, 0, 0),                           // no width
        infoHeader(1, 1, 8, 0, 4, 0) + std::string(4, '\0'),     // 256-entry table missing
        infoHeader(1, 1, 8, 0, 4, 300) + std::string(2000, '\0'),  // more colours than 8 bits hold
        infoHeader(1, 1, 24, 1, 4, 0) + std::string(4, '\0'),    // run-length compressed
        infoHeader(1, 1, 7, 0, 4, 0) + std::string(4, '\0'),     // no such bit count
        infoHeader(1, 1, 32, 3, 4, 0) + std::string(4, '\0'),    // masks missing
        infoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0, 0),         // huge, no rows
        std::string(39, '\0'),
    };
    for (const auto& dib : cases) {
        EXPECT_EQ(dibToPng(dib), std::nullopt);
        EXPECT_EQ(dibToBmp(dib), std::nullopt);
    }
}

TEST(ClipboardConversions, DibToPngRoundTrips) {
    struct Case {
        const char* what;
        std::string dib;
        std::string expectedBack;  // the DIB decoded from the PNG we made
    };
    const Case cases[] = {
        {"24 bits", kRgbDib, kRgbDib},
        {"top-down 1-bit with a colour table",
         infoHeader(2, -2, 1, 0, 8, 2) + bytes({0, 0, 0xFF, 0, 0xFF, 0, 0, 0}) +
             bytes({0x80, 0, 0, 0, 0x40, 0, 0, 0}),
         infoHeader(2, 2, 1, 0, 8, 2) + bytes({0, 0, 0xFF, 0, 0xFF, 0, 0, 0}) +
             bytes({0x40, 0, 0, 0, 0x80, 0, 0, 0})},
        // An opaque picture is written without its alpha channel.
        {"32 bits without alpha is opaque", infoHeader(1, 1, 32, 0, 4, 0) + bytes({1, 2, 3, 0}),
         infoHeader(1, 1, 24, 0, 4, 0) + bytes({1, 2, 3, 0})},
        {"32 bits with alpha keeps it", infoHeader(1, 1, 32, 0, 4, 0) + bytes({1, 2, 3, 0x40}),
         infoHeader(1, 1, 32, 0, 4, 0) + bytes({1, 2, 3, 0x40})},
        {"16 bits, 5-5-5, widened", infoHeader(1, 1, 16, 0, 4, 0) + bytes({0x00, 0x7C, 0, 0}),
         infoHeader(1, 1, 24, 0, 4, 0) + bytes({0, 0, 0xFF, 0})},
        {"16 bits, 5-6-5 masks", infoHeader(1, 1, 16, 3, 4, 0) + le32(0xF800) + le32(0x07E0) + le32(0x001F) +
             bytes({0xE0, 0x07, 0, 0}),
         infoHeader(1, 1, 24, 0, 4, 0) + bytes({0, 0xFF, 0, 0})},
    };
    for (const auto& c : cases) {
        const auto png = dibToPng(c.dib);
        ASSERT_TRUE(png) << c.what;
        EXPECT_EQ(png->substr(0, 8), "\x89PNG\r\n\x1A\n") << c.what;
        EXPECT_EQ(imageToDib("image/png", *png), c.expectedBack) << c.what;
    }
}

// ---- file lists and drop effects

std::string wide(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out += le16(c);
    return out + le16(0);
}

const std::string kDropFilesHeader = le32(20) + le32(0) + le32(0) + le32(0) + le32(1);

TEST(ClipboardConversions, UriListToDropFiles) {
    const std::string uriList =
        "# a comment\r\n"
        "file:///home/u/a%20b.txt\r\n"
        "http://example.com/x\r\n"
        "file://localhost/tmp/%C3%A9\r\n"
        "file://elsewhere/etc/passwd\r\n"
        "file:///bad%00name\r\n"
        "relative/path\r\n"
        "FILE:///last%2";  // no final line end; an incomplete escape stays as it is
    const std::string expected =
        kDropFilesHeader + wide(u"/home/u/a b.txt") + wide(u"/tmp/\u00E9") + wide(u"/last%2") + le16(0);
    EXPECT_EQ(uriListToDropFiles(uriList), expected);
    EXPECT_EQ(toWindows(WinFormat::HDrop, "text/uri-list", uriList), expected);
    EXPECT_EQ(uriListToDropFiles("http://example.com/\r\n"), std::nullopt);
    EXPECT_EQ(uriListToDropFiles(""), std::nullopt);
}

TEST(ClipboardConversions, DropFilesToNamesAndUriList) {
    const std::string dropFiles = kDropFilesHeader + wide(u"/tmp/a b") + wide(u"/tmp/\u00E9#") + le16(0);
    const std::vector<std::string> names = {"/tmp/a b", "/tmp/\xC3\xA9#"};
    EXPECT_EQ(dropFilesNames(dropFiles), names);
    EXPECT_EQ(dropFilesFromNames(names), dropFiles);
    EXPECT_EQ(uriListFromNames(names), "file:///tmp/a%20b\r\nfile:///tmp/%C3%A9%23\r\n");
    // What we write, we read back.
    EXPECT_EQ(uriListToDropFiles(uriListFromNames(names)), dropFiles);

    // Names elsewhere than right after the header, ANSI names, and malformed structures.
    const std::string ansi = le32(24) + le32(0) + le32(0) + le32(0) + le32(0) + "pad!" + "/x\xE9"s + '\0' + "/y"s +
                             '\0' + '\0';
    EXPECT_EQ(dropFilesNames(ansi), (std::vector<std::string>{"/x\xC3\xA9", "/y"}));
    EXPECT_TRUE(dropFilesNames(kDropFilesHeader.substr(0, 19)).empty());
    EXPECT_TRUE(dropFilesNames(le32(99) + kDropFilesHeader.substr(4)).empty());
    // A last name without its terminator still counts; nothing is read past the end.
    EXPECT_EQ(dropFilesNames(kDropFilesHeader + "/\0z\0"s), (std::vector<std::string>{"/z"}));
    // Windows names have no file:// form here.
    EXPECT_EQ(uriListFromNames(std::vector<std::string>{"C:\\x.txt", "/ok"}), "file:///ok\r\n");
}

TEST(ClipboardConversions, DropEffects) {
    struct Case {
        std::string target;
        std::string data;
        std::optional<uint32_t> effect;
    };
    const Case cases[] = {
        {"x-special/gnome-copied-files", "copy\nfile:///a", 1},
        {"x-special/gnome-copied-files", "cut\nfile:///a\nfile:///b", 2},
        {"x-special/gnome-copied-files", "link\nfile:///a", 5},
        {"x-special/gnome-copied-files", "copy", 1},
        {"x-special/gnome-copied-files", "cut\r\nfile:///a\0"s, 2},
        {"x-special/gnome-copied-files", "move\nfile:///a", std::nullopt},
        {"x-special/gnome-copied-files", "", std::nullopt},
        {"application/x-kde-cutselection", "1", 2},
        {"application/x-kde-cutselection", "0", 1},
        {"application/x-kde-cutselection", "1\n", 2},
        {"application/x-kde-cutselection", "yes", std::nullopt},
        {"text/uri-list", "copy", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dropEffectFromTarget(c.target, c.data), c.effect) << c.target << " " << c.data;
        const auto windows = toWindows(WinFormat::PreferredDropEffect, c.target, c.data);
        EXPECT_EQ(windows, c.effect ? std::optional<std::string>(le32(*c.effect)) : std::nullopt);
    }
    EXPECT_EQ(dropEffectBytes(5), "\x05\0\0\0"s);
    EXPECT_EQ(readDropEffect("\x02\0\0\0"s), 2u);
    EXPECT_EQ(readDropEffect("\x02\0\0"s), std::nullopt);

    const std::vector<std::string> names = {"/a b", "/c"};
    EXPECT_EQ(gnomeCopiedFiles(1, names), "copy\nfile:///a%20b\nfile:///c");
    EXPECT_EQ(gnomeCopiedFiles(5, names), "copy\nfile:///a%20b\nfile:///c");
    EXPECT_EQ(gnomeCopiedFiles(2, names), "cut\nfile:///a%20b\nfile:///c");
    EXPECT_EQ(kdeCutSelection(2), "1");
    EXPECT_EQ(kdeCutSelection(5), "0");
}

// ---- what an owner serves

TEST(ClipboardConversions, TargetsFromWindowsFormats) {
    const std::string files = kDropFilesHeader + wide(u"/tmp/f") + le16(0);
    const std::vector<FormatData> formats = {
        {WinFormat::Html, kWrappedHeader + kWrappedMarkup},
        {WinFormat::UnicodeText, "h\0\xE9\0\0\0"s},
        {WinFormat::Text, "ignored\0"s},  // the Unicode text wins
        {WinFormat::Rtf, "{\\rtf1}"},
        {WinFormat::HDrop, files},
        {WinFormat::PreferredDropEffect, le32(2)},
        {WinFormat::Csv, "a,b"},
        {WinFormat::QuilletTag, std::string(12, '\x07')},
    };
    const std::vector<TargetData> expected = {
        {"text/html", kWrappedMarkup},
        {"UTF8_STRING", "h\xC3\xA9"},
        {"text/plain;charset=utf-8", "h\xC3\xA9"},
        {"text/plain", "h\xC3\xA9"},
        {"STRING", "h\xE9"},
        {"text/rtf", "{\\rtf1}"},
        {"text/richtext", "{\\rtf1}"},
        {"application/rtf", "{\\rtf1}"},
        {"text/uri-list", "file:///tmp/f\r\n"},
        {"x-special/gnome-copied-files", "cut\nfile:///tmp/f"},
        {"application/x-kde-cutselection", "1"},
        {"text/csv", "a,b"},
        {"application/x-quillet-professional-tag", std::string(12, '\x07')},
    };
    EXPECT_EQ(targetsFromWindows(formats), expected);

    // Plain CF_TEXT alone still gives the text targets; files without an effect are copied.
    const std::vector<FormatData> ansiOnly = {{WinFormat::Text, "\x80\0"s}, {WinFormat::HDrop, files}};
    const std::vector<TargetData> ansiExpected = {
        {"UTF8_STRING", "\xE2\x82\xAC"},
        {"text/plain;charset=utf-8", "\xE2\x82\xAC"},
        {"text/plain", "\xE2\x82\xAC"},
        {"STRING", "?"},
        {"text/uri-list", "file:///tmp/f\r\n"},
        {"x-special/gnome-copied-files", "copy\nfile:///tmp/f"},
    };
    EXPECT_EQ(targetsFromWindows(ansiOnly), ansiExpected);
}

TEST(ClipboardConversions, PictureTargetsFromDib) {
    const std::vector<FormatData> formats = {{WinFormat::Dib, kRgbDib}, {WinFormat::Dib, "broken"}};
    const std::vector<TargetData> targets = targetsFromWindows(formats);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].target, "image/png");
    EXPECT_EQ(imageToDib("image/png", targets[0].bytes), kRgbDib);
    EXPECT_EQ(targets[1].target, "image/bmp");
    EXPECT_EQ(targets[1].bytes, "BM"s + le32(14 + 64) + le32(0) + le32(54) + kRgbDib);
    // A DIB that cannot be converted offers nothing.
    EXPECT_TRUE(targetsFromWindows(std::vector<FormatData>{{WinFormat::Dib, "broken"}}).empty());
}

TEST(ClipboardConversions, APngFileIsTakenAsItIsAndServedAsItIs) {
    EXPECT_EQ(planRead(std::vector<std::string>{"image/png"}),
              (std::vector<TargetPlan>{{WinFormat::Png, {"image/png"}}, {WinFormat::Dib, {"image/png"}}}));
    EXPECT_EQ(toWindows(WinFormat::Png, "image/png", kRgbPng), kRgbPng);
    EXPECT_FALSE(toWindows(WinFormat::Png, "image/bmp", kRgbPng));
    // A stored PNG file is served as image/png unchanged; the DIB still gives image/bmp.
    const std::vector<FormatData> formats = {{WinFormat::Dib, kRgbDib}, {WinFormat::Png, "stored file"}};
    const std::vector<TargetData> expected = {
        {"image/bmp", "BM"s + le32(14 + 64) + le32(0) + le32(54) + kRgbDib}, {"image/png", "stored file"}};
    EXPECT_EQ(targetsFromWindows(formats), expected);
}

std::optional<std::string> dibOf(platform::IDataObject& data) {
    platform::FormatEtc request;
    request.cfFormat = platform::CF_DIB;
    request.tymed = platform::TYMED_HGLOBAL;
    platform::StgMedium medium;
    if (platform::failed(data.getData(&request, &medium))) return std::nullopt;
    std::string bytes(platform::globalSize(medium.hGlobal), '\0');
    {
        platform::GlobalLockGuard lock(medium.hGlobal);
        std::memcpy(bytes.data(), lock.get(), bytes.size());
    }
    platform::releaseStgMedium(medium);
    return bytes;
}

TEST(ClipboardConversions, ASnapshotDecodesAPngOnlyWhenItsDibIsAskedFor) {
    const auto& r = platform::registeredFormats();
    const std::vector<ReadFormat> reads = {{WinFormat::Png, "image/png", kRgbPng},
                                           {WinFormat::Dib, "image/png", kRgbPng}};
    std::vector<ClipData> formats = snapshotFormats(reads);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0], (ClipData{r.png, kRgbPng}));
    // The DIB is still the PNG file: nothing was decoded yet.
    EXPECT_EQ(formats[1].format, platform::CF_DIB);
    EXPECT_EQ(formats[1].bytes, kRgbPng);
    EXPECT_NE(formats[1].make, nullptr);
    auto data = makeMemoryDataObject(formats);
    EXPECT_EQ(dibOf(*data), kRgbDib);
    EXPECT_EQ(dibOf(*data), kRgbDib);  // made once, kept

    // A file that does not decode offers no DIB, and fails only when asked.
    const std::vector<ReadFormat> broken = {{WinFormat::Dib, "image/png", kRgbPng.substr(0, 60)}};
    auto brokenData = makeMemoryDataObject(snapshotFormats(broken));
    EXPECT_FALSE(dibOf(*brokenData));
}

}  // namespace
