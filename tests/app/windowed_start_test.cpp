// Which command lines start the windowed program: no command word, the start switches in any
// letter case and anywhere, the first in the order /Commit, /Uninstall, -startup winning.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/windowed_start.h"

namespace {

using app::StartSwitch;

struct Case {
    std::vector<std::string> words;
    std::optional<StartSwitch> expected;  // nothing: the command line runs instead
    std::optional<std::string> dataFolder;
};

class WindowedStartTest : public ::testing::TestWithParam<Case> {};

TEST_P(WindowedStartTest, Decides) {
    const Case& c = GetParam();
    const std::optional<app::WindowedStart> start = app::windowedStart(c.words);
    ASSERT_EQ(start.has_value(), c.expected.has_value());
    if (!start) return;
    EXPECT_EQ(start->startSwitch, *c.expected);
    EXPECT_EQ(start->dataFolder ? std::optional<std::string>(start->dataFolder->string()) : std::nullopt,
              c.dataFolder);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, WindowedStartTest,
    ::testing::Values(
        Case{{}, StartSwitch::None, std::nullopt},
        Case{{"--data-dir", "/d"}, StartSwitch::None, "/d"},
        Case{{"-STARTUP"}, StartSwitch::Startup, std::nullopt},
        Case{{"--data-dir", "/d", "-StartUp"}, StartSwitch::Startup, "/d"},
        Case{{"-startup", "/uninstall"}, StartSwitch::Uninstall, std::nullopt},
        Case{{"/UNINSTALL", "-startup", "/commit"}, StartSwitch::Commit, std::nullopt},
        // A switch inside a longer word is a different word.
        Case{{"-startups"}, std::nullopt, std::nullopt},
        Case{{"lists"}, std::nullopt, std::nullopt},
        Case{{"--help"}, std::nullopt, std::nullopt},
        Case{{"-startup", "--version"}, std::nullopt, std::nullopt},
        Case{{"--data-dir"}, std::nullopt, std::nullopt}));

}  // namespace
