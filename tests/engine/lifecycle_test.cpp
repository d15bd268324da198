// Starting and stopping the engine, and its part in the viewer chain and the taskbar's life.

#include "engine_fixture.h"

namespace engine_test {
namespace {

using Lifecycle = EngineFixture;

// The calls among `names`, in the order they were made.
std::vector<std::string> callsAmong(const std::vector<std::string>& calls,
                                    const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& c : calls)
        if (std::find(names.begin(), names.end(), c) != names.end()) out.push_back(c);
    return out;
}

TEST_F(Lifecycle, StartTracksFocusThenJoinsTheChainThenHooksTheKeyboard) {
    desk.clearCalls();
    start();
    EXPECT_EQ(callsAmong(desk.calls(), {"focus.initialize", "setClipboardViewer", "setKeyboardHook"}),
              (std::vector<std::string>{"focus.initialize", "setClipboardViewer", "setKeyboardHook"}));
    EXPECT_EQ(engine.taskbarWindow(), desk.taskbar());
    EXPECT_EQ(sim.desktop().focusHelper().globalFocusWindow(), editorText);
    EXPECT_EQ(desk.viewerChainHead(), mainWindow);
    EXPECT_EQ(desk.keyboardHookCount(), 1u);
    // Joining notified us, but that is no change to capture.
    EXPECT_EQ(captureRequests(), 0u);
}

TEST_F(Lifecycle, StartingPausedStaysOutOfTheChain) {
    config.setBool(kOptRecording, false);
    start();
    EXPECT_NE(desk.viewerChainHead(), mainWindow);
    EXPECT_TRUE(engine.keyboardHookInstalled());
    copyText(editorFrame, u"x");
    EXPECT_EQ(listening().count(), 0u);
}

TEST_F(Lifecycle, StopFlushesOurDataSoItOutlivesUsThenLeavesAndUnhooks) {
    start();
    copyText(editorFrame, u"stays");
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    desk.clearCalls();
    stop();
    EXPECT_EQ(callsAmong(desk.calls(),
                         {"oleFlushClipboard", "changeClipboardChain", "focus.uninitialize", "unhook"}),
              (std::vector<std::string>{"oleFlushClipboard", "changeClipboardChain",
                                        "focus.uninitialize", "unhook"}));
    EXPECT_EQ(desk.clipboardDataObject(), nullptr);
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"stays"));
    EXPECT_EQ(engine.ownDataObject(), nullptr);
    EXPECT_EQ(engine.lastRecord(), nullptr);
    EXPECT_EQ(engine.lastCaptured(), nullptr);
    EXPECT_FALSE(desk.focusTracking());
    EXPECT_EQ(desk.keyboardHookCount(), 0u);
    EXPECT_NE(desk.viewerChainHead(), mainWindow);
}

TEST_F(Lifecycle, StopLeavesAnotherProgramsDataAlone) {
    start();
    copyText(editorFrame, u"ours later");
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    copyText(editorFrame, u"theirs");
    desk.clearCalls();
    stop();
    EXPECT_TRUE(callsAmong(desk.calls(), {"oleFlushClipboard"}).empty());
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"theirs"));
}

TEST_F(Lifecycle, AnEngineThatGoesAwayTakesItsKeyboardHookWithIt) {
    {
        ClipboardEngine other(sim.desktop(), config, history);
        other.installKeyboardHook();
        EXPECT_EQ(desk.keyboardHookCount(), 1u);
    }
    EXPECT_EQ(desk.keyboardHookCount(), 0u);
    desk.keyDown('A');  // would call into the destroyed engine
}

TEST_F(Lifecycle, AViewerLeavingBehindUsIsBridgedAndTheNewsPassedOn) {
    const ProcessId viewers = desk.addProgram(u"/usr/bin/viewer");
    const WindowHandle leaving = desk.addViewer(viewers, true);
    const WindowHandle after = desk.addWindow(viewers, u"After");
    start();
    ASSERT_EQ(engine.nextViewer(), leaving);
    Desktop& d = sim.desktop();

    // The leaving viewer's next one takes its place.
    d.sendMessage(mainWindow, WM_CHANGECBCHAIN, windowParam(leaving), static_cast<intptr_t>(windowParam(after)));
    EXPECT_EQ(engine.nextViewer(), after);
    // Someone further down leaves: we pass it on unchanged.
    const WindowHandle elsewhere = desk.addWindow(viewers, u"Elsewhere");
    d.sendMessage(mainWindow, WM_CHANGECBCHAIN, windowParam(elsewhere), 0);
    EXPECT_EQ(engine.nextViewer(), after);
    const std::vector<sim::LoggedMessage> expected = {
        {after, WM_CHANGECBCHAIN, windowParam(leaving), static_cast<intptr_t>(windowParam(after)), false},
        {after, WM_CHANGECBCHAIN, windowParam(elsewhere), 0, false},
    };
    EXPECT_EQ(desk.messagesTo(after), expected);

    // A next viewer that died is simply not called; changes are still captured.
    desk.closeWindow(after);
    copyText(editorFrame, u"still captured");
    EXPECT_EQ(listening().count(), 1u);
}

TEST_F(Lifecycle, AChainThatLeadsBackToUsIsNotFollowed) {
    start();
    sim.desktop().sendMessage(mainWindow, WM_CHANGECBCHAIN, windowParam(engine.nextViewer()),
                              static_cast<intptr_t>(windowParam(mainWindow)));
    ASSERT_EQ(engine.nextViewer(), mainWindow);
    const size_t requests = captureRequests();
    copyText(editorFrame, u"once");
    EXPECT_EQ(captureRequests(), requests + 1);
    EXPECT_EQ(listening().count(), 1u);
}

TEST_F(Lifecycle, ANewTaskbarIsLookedUpAndHandedToFocusTracking) {
    start();
    const WindowHandle taskbar = desk.recreateTaskbar();
    desk.clearCalls();
    pump();
    EXPECT_EQ(engine.taskbarWindow(), taskbar);
    EXPECT_EQ(callsAmong(desk.calls(), {"focus.updateTrayWindow"}).size(), 1u);
    desk.focus(taskbar);
    EXPECT_EQ(sim.desktop().focusHelper().globalFocusWindow(), editorText);

    // Reported as not handled, so the tray icon's own handling sees it as well.
    intptr_t result = 0;
    EXPECT_FALSE(engine.handleMessage(sim.desktop().registerWindowMessage(u"TaskbarCreated"), 0, 0, result));
    EXPECT_FALSE(engine.handleMessage(WM_TIMER, 3, 0, result));  // the tray animation's timer
}

}  // namespace
}  // namespace engine_test
