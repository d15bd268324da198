// The programs behind the desktop's top-level windows, with openbox keeping the client list and
// without a window manager. Skipped where Xvfb or openbox is not installed.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/x11/top_level_windows.h"
#include "tests/x11/desktop_fixture.h"

namespace {

using namespace platform::x11;

class TopLevelWindows : public x11test::DesktopFixture,
                        public testing::WithParamInterface<bool> {
protected:
    void SetUp() override { startDesktop(GetParam(), {}); }
};

TEST_P(TopLevelWindows, NameTheProgramOfEachWindow) {
    x11test::PasteTarget& editor = startTarget("Gedit");
    x11test::PasteTarget& terminal = startTarget("XTerm");
    settle();
    const std::vector<TopLevelWindow> windows = topLevelWindows(connection());
    const std::string program =
        std::filesystem::canonical(QUILLET_PASTE_TARGET).string();
    for (x11test::PasteTarget* target : {&editor, &terminal}) {
        auto it = std::find_if(windows.begin(), windows.end(), [&](const TopLevelWindow& w) {
            return w.window == target->window();
        });
        ASSERT_NE(it, windows.end());
        EXPECT_EQ(it->processId, target->process().pid());
        EXPECT_EQ(it->executablePath, program);
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutManager, TopLevelWindows, testing::Values(false, true));

}  // namespace
