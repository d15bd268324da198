// Clipboard format numbers: the standard ones, and registered names numbered once per process.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/clipboard_formats.h"
#include "platform/text_codec.h"

namespace {

using namespace platform;

TEST(ClipboardFormats, StandardNumbers) {
    EXPECT_EQ(CF_TEXT, 1);
    EXPECT_EQ(CF_BITMAP, 2);
    EXPECT_EQ(CF_DIB, 8);
    EXPECT_EQ(CF_UNICODETEXT, 13);
    EXPECT_EQ(CF_ENHMETAFILE, 14);
    EXPECT_EQ(CF_HDROP, 15);
    EXPECT_EQ(CF_LOCALE, 16);
    EXPECT_EQ(clipboardFormatName(CF_UNICODETEXT), u"");
}

TEST(ClipboardFormats, TheProgramsNamesComeFirstInTheirOrder) {
    // Someone else's name first: ours still get the first numbers.
    const ClipFormat foreign = registerClipboardFormat(u"Some Other Format");
    const RegisteredFormats& f = registeredFormats();
    const std::pair<ClipFormat, const char*> expected[] = {
        {f.html, "HTML Format"},
        {f.rtf, "Rich Text Format"},
        {f.csv, "Csv"},
        {f.embeddedObject, "Embedded Object"},
        {f.preferredDropEffect, "Preferred DropEffect"},
        {f.shellIdList, "Shell IDList Array"},
        {f.shellObjectOffsets, "Shell Object Offsets"},
        {f.quilletTag, "Quillet Professional Tag"},
        {f.clipboardViewerIgnore, "Clipboard Viewer Ignore"},
        {f.png, "PNG"},
    };
    ClipFormat number = 0xC000;
    for (const auto& [format, name] : expected) {
        EXPECT_EQ(format, number++) << name;
        EXPECT_EQ(utf16ToUtf8(clipboardFormatName(format)), name);
        EXPECT_EQ(registerClipboardFormat(utf8ToUtf16(name)), format) << name;
    }
    EXPECT_GE(foreign, 0xC00A);
    EXPECT_EQ(clipboardFormatName(foreign), u"Some Other Format");
}

TEST(ClipboardFormats, OneNumberPerNameWhateverItsCase) {
    const ClipFormat a = registerClipboardFormat(u"Test Format A");
    EXPECT_GE(a, kFirstRegisteredFormat);
    EXPECT_EQ(registerClipboardFormat(u"test format a"), a);
    EXPECT_EQ(registerClipboardFormat(u"TEST FORMAT A"), a);
    EXPECT_EQ(clipboardFormatName(a), u"Test Format A") << "the first spelling stays";
    const ClipFormat b = registerClipboardFormat(u"Test Format B");
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(registerClipboardFormat(u""), 0);
    EXPECT_EQ(clipboardFormatName(0xFFFF), u"");
}

TEST(ClipboardFormats, ThreadsRegisteringTheSameNamesAgree) {
    std::vector<std::vector<ClipFormat>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < 50; ++i)
                seen[t].push_back(registerClipboardFormat(u"Shared " + std::u16string(1, u'A' + i % 10)));
        });
    }
    for (auto& t : threads) t.join();
    for (int t = 1; t < 4; ++t) EXPECT_EQ(seen[t], seen[0]);
}

}  // namespace
