// The simulated desktop keeps the promises of the desktop interface that the engine relies on.

#include <gtest/gtest.h>

#include "model/data_object.h"
#include "model/text_item.h"
#include "platform/sim/sim_desktop.h"

namespace {

using namespace platform;
using platform::sim::SimDesktop;

struct Recorder {
    std::vector<uint32_t> messages;
    MessageHandler handler() {
        return [this](uint32_t m, uintptr_t, intptr_t) {
            messages.push_back(m);
            return intptr_t{7};
        };
    }
};

TEST(SimDesktop, ANotificationTravelsTheChainUntilAViewerDropsIt) {
    SimDesktop sim;
    auto& desk = sim.control();
    const ProcessId other = desk.addProgram(u"/usr/bin/viewer");
    const WindowHandle last = desk.addViewer(other, true);
    const WindowHandle breaker = desk.addViewer(other, false);
    const WindowHandle first = desk.addViewer(other, true);
    EXPECT_EQ(desk.viewerChainHead(), first);

    desk.copy(kNoWindow, {sim::ansiTextOffer("x")});
    // Joining notifies the new viewer, which passes it on like any other; the copy goes
    // first -> breaker and stops there.
    EXPECT_EQ(desk.drawNotifications(first), 2u);    // its join, the copy
    EXPECT_EQ(desk.drawNotifications(breaker), 3u);  // its join, first's join, the copy
    EXPECT_EQ(desk.drawNotifications(last), 1u);     // its own join only
}

TEST(SimDesktop, SentMessagesRunAtOncePostedOnesWhenPumpedAndTimersWhenDue) {
    SimDesktop sim;
    auto& desk = sim.control();
    Desktop& d = sim.desktop();
    Recorder r;
    const WindowHandle w = d.createWindow(u"Ours", r.handler());
    EXPECT_EQ(d.sendMessage(w, 1, 0, 0), 7);
    EXPECT_TRUE(d.postMessage(w, 2, 0, 0));
    ASSERT_TRUE(d.setTimer(w, 4, 1000));
    EXPECT_EQ(r.messages, std::vector<uint32_t>{1});

    EXPECT_EQ(desk.pumpMessages(), 1u);
    desk.advance(999);
    EXPECT_EQ(desk.pumpMessages(), 0u);
    desk.advance(5000);  // five periods late: still one WM_TIMER per pump
    EXPECT_EQ(desk.pumpMessages(), 1u);
    EXPECT_EQ(r.messages, (std::vector<uint32_t>{1, 2, WM_TIMER}));
    EXPECT_TRUE(d.killTimer(w, 4));
    desk.advance(5000);
    EXPECT_EQ(desk.pumpMessages(), 0u);

    EXPECT_TRUE(d.destroyWindow(w));
    EXPECT_FALSE(d.postMessage(w, 2, 0, 0));
    EXPECT_EQ(d.sendMessage(w, 1, 0, 0), 0);
}

TEST(SimDesktop, HooksSeeKeysNewestFirstAndASwallowedKeyReachesNoProgram) {
    SimDesktop sim;
    auto& desk = sim.control();
    Desktop& d = sim.desktop();
    const WindowHandle editor = desk.addWindow(desk.addProgram(u"/usr/bin/ed"), u"EDIT");
    desk.focus(editor);

    std::vector<std::string> seen;
    HookHandle older{};
    older = d.setKeyboardHook([&](int code, uint32_t m, const KeyboardEvent& e) {
        seen.push_back("older");
        return d.callNextKeyboardHook(older, code, m, e);
    });
    HookHandle newer{};
    newer = d.setKeyboardHook([&](int code, uint32_t m, const KeyboardEvent& e) {
        seen.push_back(e.flags & LLKHF_INJECTED ? "newer injected" : "newer");
        if (e.vkCode == 'X') return intptr_t{1};
        // Removing itself in the middle of an event does not cut the event's way.
        d.unhook(newer);
        return d.callNextKeyboardHook(newer, code, m, e);
    });

    desk.keyDown('X');
    EXPECT_EQ(seen, std::vector<std::string>{"newer"});
    EXPECT_FALSE(d.isKeyDown('X'));
    EXPECT_TRUE(desk.keyMessages(editor).empty());

    desk.injectKey('Y', false);
    EXPECT_EQ(seen, (std::vector<std::string>{"newer", "newer injected", "older"}));
    EXPECT_TRUE(d.isKeyDown('Y'));
    EXPECT_EQ(desk.keyMessages(editor), (std::vector<sim::KeyMessage>{{WM_KEYDOWN, 'Y', true}}));
    EXPECT_EQ(desk.keyboardHookCount(), 1u);
}

TEST(SimDesktop, AReaderGetsOurDataFromOurDataObjectAndAFlushKeepsACopy) {
    SimDesktop sim;
    auto& desk = sim.control();
    Desktop& d = sim.desktop();
    auto* data = new cb::DataObject();
    data->add(std::make_unique<cb::TextItem>(u"ours"));
    ASSERT_EQ(d.oleSetClipboard(data), S_OK);
    EXPECT_EQ(data->referenceCount(), 2u);
    EXPECT_EQ(d.oleIsCurrentClipboard(data), S_OK);
    EXPECT_EQ(desk.clipboardFormats().size(), 2u);
    EXPECT_EQ(desk.readClipboard(13, TYMED_HGLOBAL), sim::unicodeTextOffer(u"ours").bytes);

    ASSERT_EQ(d.oleFlushClipboard(), S_OK);
    EXPECT_EQ(data->referenceCount(), 1u);
    EXPECT_EQ(d.oleIsCurrentClipboard(data), S_FALSE);
    data->release();
    EXPECT_EQ(desk.readClipboard(1, TYMED_HGLOBAL), std::string("ours\0", 5));
}

TEST(SimDesktop, TheClipboardAnswersAMediumlessQuestionByFormatAlone) {
    SimDesktop sim;
    auto& desk = sim.control();
    desk.copy(kNoWindow, {sim::bytesOffer(0xC123, "tag"), sim::unreadableOffer(13)});
    Ref<IDataObject> clip;
    ASSERT_EQ(sim.desktop().oleGetClipboard(clip.out()), S_OK);
    FormatEtc ask;
    ask.cfFormat = 0xC123;
    ask.tymed = TYMED_NULL;
    EXPECT_EQ(clip->queryGetData(&ask), S_OK);
    ask.tymed = TYMED_ISTREAM;
    EXPECT_EQ(clip->queryGetData(&ask), DV_E_FORMATETC);
    EXPECT_EQ(desk.readClipboard(13, TYMED_HGLOBAL), std::nullopt);

    desk.failClipboardOpens(1);
    EXPECT_EQ(sim.desktop().oleGetClipboard(clip.out()), CLIPBRD_E_CANT_OPEN);
    EXPECT_FALSE(clip);
}

TEST(SimDesktop, FocusTrackingIgnoresOurWindowsAndTheTaskbar) {
    SimDesktop sim;
    auto& desk = sim.control();
    Desktop& d = sim.desktop();
    const WindowHandle editor = desk.addWindow(desk.addProgram(u"/usr/bin/ed"), u"EDIT");
    const WindowHandle ours = d.createWindow(u"Popup", [](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
    desk.focus(editor);
    EXPECT_EQ(d.focusHelper().globalFocusWindow(), kNoWindow);  // not tracking yet

    d.focusHelper().initialize(desk.taskbar(), editor);
    desk.focus(ours);
    desk.focus(desk.taskbar());
    EXPECT_EQ(d.focusHelper().globalFocusWindow(), editor);
    EXPECT_EQ(d.foregroundWindow(), desk.taskbar());

    const WindowHandle newTaskbar = desk.recreateTaskbar();
    desk.focus(newTaskbar);  // not yet told about the new taskbar
    EXPECT_EQ(d.focusHelper().globalFocusWindow(), newTaskbar);
}

TEST(SimDesktop, WaitingForAProgramFollowsItsScript) {
    SimDesktop sim;
    auto& desk = sim.control();
    Desktop& d = sim.desktop();
    const ProcessId slow = desk.addProgram(u"/usr/bin/slow");
    desk.setInputIdleScript(slow, [](unsigned call) { return call == 0 ? kWaitTimeout : kWaitIdle; });
    const uint32_t before = d.tickCount();
    const ProcessHandle h = d.openProcess(slow);
    ASSERT_NE(h, ProcessHandle{});
    EXPECT_EQ(d.waitForInputIdle(h, 3000), kWaitTimeout);
    EXPECT_EQ(d.tickCount() - before, 3000u);
    EXPECT_EQ(d.waitForInputIdle(h, 3000), kWaitIdle);
    EXPECT_EQ(desk.openProcessHandles(), 1u);
    d.closeProcess(h);
    EXPECT_EQ(desk.openProcessHandles(), 0u);

    desk.setProcessOpenable(slow, false);
    EXPECT_EQ(d.openProcess(slow), ProcessHandle{});
    desk.endProgram(slow);
    EXPECT_EQ(d.processExecutablePath(slow), u"");
}

}  // namespace
