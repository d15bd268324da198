// The content handed to the process that serves our clipboard after exit: its bytes as written
// by hand from their layout, and input that is not exactly one content refused.

#include "platform/exit_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::decodeServedContent;
using platform::encodeServedContent;
using platform::TargetData;

const std::string kTwoTargets = std::string("\x02\x00\x00\x00", 4) +
                                std::string("\x0B\x00\x00\x00", 4) + "UTF8_STRING" +
                                std::string("\x03\x00\x00\x00\x00\x00\x00\x00", 8) + std::string("a\0b", 3) +
                                std::string("\x09\x00\x00\x00", 4) + "text/html" +
                                std::string(8, '\0');

TEST(ExitServerContent, IsCountThenNameAndDataOfEachTarget) {
    const std::vector<TargetData> targets{{"UTF8_STRING", std::string("a\0b", 3)}, {"text/html", ""}};
    EXPECT_EQ(encodeServedContent(targets), kTwoTargets);
    EXPECT_EQ(decodeServedContent(kTwoTargets), targets);
}

TEST(ExitServerContent, AnythingButExactlyOneContentIsRefused) {
    const std::string cases[] = {
        "",
        kTwoTargets.substr(0, kTwoTargets.size() - 1),  // data cut short
        kTwoTargets + "x",                              // bytes after the last target
        std::string("\x01\x00\x00\x00", 4) + std::string("\xFF\xFF\xFF\xFF", 4) + "name",  // name longer than the rest
        std::string("\x01\x00\x00\x00", 4) + std::string("\x01\x00\x00\x00", 4) + "n" +
            std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8),  // data longer than the rest
        std::string("\xFF\xFF\xFF\xFF", 4),              // more targets than any content has
    };
    for (const std::string& bytes : cases) EXPECT_FALSE(decodeServedContent(bytes)) << testing::PrintToString(bytes);
}

}  // namespace
