// Clipboard changes by other programs, end to end: the desktop notifies the main window, the
// engine passes the notification on and posts its capture request, and the pumped request
// turns the clipboard into a record at the front of the listening list.

#include "engine_fixture.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/item_type.h"
#include "model/text_item.h"

namespace engine_test {
namespace {

class Capture : public EngineFixture {
protected:
    Capture() { start(); }

    std::vector<int32_t> capturedTypeIds() const {
        std::vector<int32_t> ids;
        if (const cb::DataObject* items = engine.lastCaptured())
            for (const auto& item : items->items()) ids.push_back(cb::findTypeOf(*item)->typeId());
        return ids;
    }
};

TEST_F(Capture, ACopyInAnotherProgramLandsAtTheFrontWithItsSourceApplication) {
    copyText(editorFrame, u"first");
    copyText(editorText, u"caf\u00E9");

    ASSERT_EQ(listening().count(), 2u);
    const cb::RecordPtr record = front();
    EXPECT_EQ(record->text(), u"caf\u00E9");
    EXPECT_EQ(record->application(), u"/usr/bin/editor");
    EXPECT_EQ(record->time(), cb::packLocalTime(sim.desktop().currentTime()));
    EXPECT_EQ(record->textIndex(), 0);
    EXPECT_EQ(listening().at(1)->text(), u"first");
    EXPECT_EQ(engine.lastRecord(), record);
    EXPECT_EQ(tray.started, 2);
    // The capture waited for the owner to be idle and let go of the process again.
    EXPECT_EQ(desk.openProcessHandles(), 0u);
}

TEST_F(Capture, TheNotificationIsAnsweredAndPassedOnBeforeAnyCapture) {
    const WindowHandle before = desk.addViewer(desk.addProgram(u"/usr/bin/viewer"), true);
    // Started before the viewer joined, we sit behind it: it passes every change to us.
    stop();
    start();
    pump();  // the viewer passed its own joining on to us
    ASSERT_EQ(engine.nextViewer(), before);
    const unsigned seen = desk.drawNotifications(before);
    const unsigned replies = desk.replies();

    desk.copy(editorFrame, {sim::unicodeTextOffer(u"x")});
    EXPECT_EQ(desk.drawNotifications(before), seen + 1);
    EXPECT_EQ(desk.replies(), replies + 1);
    EXPECT_EQ(listening().count(), 0u);  // the capture waits in the queue
    EXPECT_EQ(desk.queuedMessages(), 1u);
    pump();
    EXPECT_EQ(listening().count(), 1u);
}

TEST_F(Capture, OurOwnWriteIsPassedOnButNotCaptured) {
    copyText(editorFrame, u"kept");
    const WindowHandle viewer = desk.addViewer(desk.addProgram(u"/usr/bin/viewer"), true);
    stop();
    start();  // behind the viewer now
    const size_t requests = captureRequests();
    const unsigned seen = desk.drawNotifications(viewer);

    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    pump();
    EXPECT_EQ(desk.drawNotifications(viewer), seen + 1);
    EXPECT_EQ(captureRequests(), requests);
    EXPECT_EQ(listening().count(), 1u);

    // Even a capture that does run (a chain repair) leaves our tagged data alone.
    desk.advance(5000);
    engine.startChainCheck();
    desk.advance(1000);
    pump();
    EXPECT_EQ(captureRequests(), requests + 1);
    EXPECT_EQ(listening().count(), 1u);
}

TEST_F(Capture, CopyingOverOurOwnDataIsCaptured) {
    copyText(editorFrame, u"a");
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    pump();
    copyText(editorFrame, u"b");
    EXPECT_EQ(listening().count(), 2u);
    EXPECT_EQ(front()->text(), u"b");
}

TEST_F(Capture, ABrokenChainIsRepairedAfterCtrlCAndTheCurrentContentIsCaptured) {
    const WindowHandle breaker = desk.addViewer(desk.addProgram(u"/usr/bin/breaker"), false);
    desk.advance(5000);
    copyText(editorFrame, u"dropped");
    EXPECT_EQ(listening().count(), 0u);

    // The user copies with Ctrl+C; the editor puts the text there a moment later.
    desk.keyDown(VK_LCONTROL);
    desk.keyDown('C');
    EXPECT_TRUE(desk.timerRunning(mainWindow, 4));
    desk.keyUp('C');
    desk.keyUp(VK_LCONTROL);
    EXPECT_EQ(desk.keyMessages(editorText).size(), 4u);  // the editor still got its Ctrl+C
    desk.advance(30);
    copyText(editorFrame, u"copied");
    EXPECT_EQ(listening().count(), 0u);

    desk.advance(1000);
    pump();
    EXPECT_FALSE(desk.timerRunning(mainWindow, 4));
    ASSERT_EQ(listening().count(), 1u);
    EXPECT_EQ(front()->text(), u"copied");
    // We are at the head again, with the breaker behind us.
    EXPECT_EQ(desk.viewerChainHead(), mainWindow);
    EXPECT_EQ(engine.nextViewer(), breaker);
    copyText(editorFrame, u"next");
    EXPECT_EQ(front()->text(), u"next");
}

TEST_F(Capture, AWorkingChainIsNotRejoinedAfterCtrlC) {
    desk.clearCalls();
    desk.keyDown(VK_RCONTROL);
    desk.keyDown('C');
    desk.advance(30);
    copyText(editorFrame, u"copied");
    desk.advance(970);
    pump();
    EXPECT_FALSE(desk.timerRunning(mainWindow, 4));
    const auto& calls = desk.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "setClipboardViewer"), 0);
    EXPECT_EQ(listening().count(), 1u);
}

struct MergeCase {
    const char* name;
    std::vector<ClipboardOffer> offers;
    std::vector<int32_t> typeIds;  // of the captured items, in order
};

TEST_F(Capture, FormatsThatCarryTheSameDataYieldOneItem) {
    config.setBool(1005, true);  // pictures are recorded too
    const RegisteredFormats& f = registeredFormats();
    const auto html = sim::bytesOffer(f.html, "<b>x</b>");
    const MergeCase cases[] = {
        {"ANSI then Unicode", {sim::ansiTextOffer("x"), sim::unicodeTextOffer(u"x")}, {1001}},
        {"Unicode then ANSI", {sim::unicodeTextOffer(u"z"), sim::ansiTextOffer("z")}, {1001}},
        {"device bitmap then DIB",
         {sim::unreadableOffer(CF_BITMAP, TYMED_GDI), sim::bytesOffer(CF_DIB, smallDib(1))},
         {1005}},
        {"DIB then device bitmap",
         {sim::bytesOffer(CF_DIB, smallDib(2)), sim::unreadableOffer(CF_BITMAP, TYMED_GDI)},
         {1005}},
        {"an unreadable format is left out, the rest kept",
         {html, sim::unreadableOffer(CF_UNICODETEXT), sim::bytesOffer(f.rtf, "{\\rtf1}")},
         {1004, 1003}},
        {"order of the offer", {html, sim::unicodeTextOffer(u"y"), sim::ansiTextOffer("y")},
         {1004, 1001}},
    };
    for (const MergeCase& c : cases) {
        desk.copy(editorFrame, c.offers);
        pump();
        EXPECT_EQ(capturedTypeIds(), c.typeIds) << c.name;
    }
    EXPECT_EQ(listening().count(), std::size(cases));
}

TEST_F(Capture, APictureAloneIsCapturedOnlyWhenPicturesAreRecorded) {
    desk.copy(editorFrame, {sim::bytesOffer(CF_DIB, smallDib(3))});
    pump();
    EXPECT_EQ(listening().count(), 0u);

    config.setBool(1005, true);
    desk.copy(editorFrame, {sim::bytesOffer(CF_DIB, smallDib(3))});
    pump();
    ASSERT_EQ(listening().count(), 1u);
    EXPECT_EQ(front()->text(), u"[Bitmap Picture]");
    EXPECT_EQ(front()->textIndex(), -1);
}

TEST_F(Capture, AFileListBecomesItsPathsAsText) {
    // DROPFILES: offset 20, point, non-client flag, wide names.
    std::string drop(20, '\0');
    drop[0] = 20;
    drop[16] = 1;
    drop += sim::unicodeTextOffer(u"/home/u/a.txt").bytes;
    drop.append(2, '\0');
    desk.copy(editorFrame, {sim::bytesOffer(CF_HDROP, drop)});
    pump();
    ASSERT_EQ(listening().count(), 1u);
    EXPECT_EQ(front()->text(), u"/home/u/a.txt\n");
}

TEST_F(Capture, OnlyAChangeFromThePreviousCaptureIsKept) {
    struct Case {
        const char* name;
        bool allowDuplicates;
        std::vector<std::u16string> copies;
        size_t records;
    } cases[] = {
        {"A, A", false, {u"A", u"A"}, 1},
        {"A, B, A", false, {u"A", u"B", u"A"}, 3},
        {"A, A with duplicates allowed", true, {u"A", u"A"}, 2},
    };
    const WindowHandle other = desk.addWindow(desk.addProgram(u"/usr/bin/other"), u"Other");
    for (const Case& c : cases) {
        listening().clear();
        copyText(editorFrame, u"reset");
        listening().clear();
        config.setBool(kOptAllowDuplicates, c.allowDuplicates);
        bool fromEditor = true;
        for (const std::u16string& text : c.copies) {
            copyText(fromEditor ? editorFrame : other, text);  // whichever program it came from
            fromEditor = !fromEditor;
        }
        EXPECT_EQ(listening().count(), c.records) << c.name;
    }
}

TEST_F(Capture, AnExcludedProgramIsNotCapturedAndTheNextCopyIsComparedWithTheOneBefore) {
    const WindowHandle vault = desk.addWindow(desk.addProgram(u"/usr/bin/vault"), u"Vault");
    const WindowHandle shouting = desk.addWindow(desk.addProgram(u"/USR/BIN/VAULT"), u"Vault");
    config.excludedPrograms() = {"/usr/bin/vault"};

    copyText(editorFrame, u"A");
    copyText(vault, u"secret");
    EXPECT_EQ(listening().count(), 1u);
    EXPECT_EQ(engine.lastRecord()->text(), u"A");
    copyText(editorFrame, u"A");  // the same as the capture before the excluded copy
    EXPECT_EQ(listening().count(), 1u);
    copyText(editorFrame, u"secret");
    EXPECT_EQ(listening().count(), 2u);
    // The comparison is exact.
    copyText(shouting, u"loud");
    EXPECT_EQ(listening().count(), 3u);
    EXPECT_EQ(front()->application(), u"/USR/BIN/VAULT");
}

TEST_F(Capture, AFullListThatDoesNotDiscardGetsNoCaptureRequest) {
    const WindowHandle viewer = desk.addViewer(desk.addProgram(u"/usr/bin/viewer"), true);
    stop();
    start();
    listening().setDiscardOld(false);
    listening().setMaxCount(1);
    copyText(editorFrame, u"one");
    ASSERT_EQ(listening().count(), 1u);
    const size_t requests = captureRequests();
    const unsigned seen = desk.drawNotifications(viewer);

    copyText(editorFrame, u"two");
    EXPECT_EQ(captureRequests(), requests);
    EXPECT_EQ(desk.drawNotifications(viewer), seen + 1);  // still passed on
    EXPECT_EQ(front()->text(), u"one");

    listening().setDiscardOld(true);
    copyText(editorFrame, u"three");
    EXPECT_EQ(listening().count(), 1u);
    EXPECT_EQ(front()->text(), u"three");
}

TEST_F(Capture, AnOwnerWithoutAProgramPathStandsForTheFocusedProgram) {
    const WindowHandle pathless = desk.addWindow(desk.addProgram(u""), u"NoPath");
    const WindowHandle console = desk.addWindow(desk.addProgram(u"csrss.exe"), u"Console");
    const WindowHandle terminal = desk.addWindow(desk.addProgram(u"/usr/bin/term"), u"Term");
    struct Case {
        const char* name;
        WindowHandle owner;
        WindowHandle focused;  // null: nothing has the focus
        std::u16string application;
    } cases[] = {
        {"owner's program has no path", pathless, editorText, u"/usr/bin/editor"},
        {"console server", console, terminal, u"/usr/bin/term"},
        {"no owner", kNoWindow, editorText, u"/usr/bin/editor"},
        {"an owner with a path", terminal, editorText, u"/usr/bin/term"},
        {"no owner, no focus", kNoWindow, kNoWindow, u""},
    };
    int n = 0;
    for (const Case& c : cases) {
        if (c.focused != kNoWindow)
            desk.focus(c.focused);
        else
            desk.closeWindow(editorFrame);  // the foreground window goes away
        copyText(c.owner, u"text " + std::u16string(1, static_cast<char16_t>(u'0' + n++)));
        EXPECT_EQ(front()->application(), c.application) << c.name;
    }
}

TEST_F(Capture, AnOwnerThatGoesAwayMeanwhileYieldsNoRecord) {
    // Destroyed while we wait for it to be idle.
    desk.setInputIdleScript(editor, [&](unsigned) {
        desk.closeWindow(editorFrame);
        return kWaitIdle;
    });
    copyText(editorFrame, u"gone");
    EXPECT_EQ(listening().count(), 0u);

    // Destroyed before the request is handled.
    const WindowHandle other = desk.addWindow(desk.addProgram(u"/usr/bin/other"), u"Other");
    desk.copy(other, {sim::unicodeTextOffer(u"also gone")});
    desk.closeWindow(other);
    pump();
    EXPECT_EQ(listening().count(), 0u);
    EXPECT_EQ(desk.openProcessHandles(), 0u);
}

TEST_F(Capture, TheIdleWaitFollowsTheAnswersOfTheOwnersProgram) {
    const ProcessId slow = desk.addProgram(u"/usr/bin/slow");
    const WindowHandle window = desk.addWindow(slow, u"Slow");
    struct Case {
        const char* name;
        std::vector<uint32_t> answers;  // the last one repeats
        bool idle;
        unsigned waits;
        uint64_t sleptMs;
    } cases[] = {
        {"idle at once", {kWaitIdle}, true, 5, 5},
        {"busy, then idle", {kWaitTimeout, kWaitTimeout, kWaitIdle}, true, 5, 5},
        {"busy to the end", {kWaitIdle, kWaitTimeout}, false, 5, 5},
        {"a failed wait ends it", {kWaitTimeout, kWaitFailed}, false, 2, 1},
    };
    for (const Case& c : cases) {
        unsigned waits = 0;
        desk.setInputIdleScript(slow, [&](unsigned call) {
            ++waits;
            return c.answers[std::min<size_t>(call, c.answers.size() - 1)];
        });
        const uint64_t slept = desk.sleptMs();
        EXPECT_EQ(engine.waitUntilIdle(window), c.idle) << c.name;
        EXPECT_EQ(waits, c.waits) << c.name;
        EXPECT_EQ(desk.sleptMs() - slept, c.sleptMs) << c.name;
        EXPECT_EQ(desk.openProcessHandles(), 0u) << c.name;
    }
    // Nothing to wait on: 25 ms and false.
    desk.setProcessOpenable(slow, false);
    const uint64_t slept = desk.sleptMs();
    EXPECT_FALSE(engine.waitUntilIdle(window));
    EXPECT_FALSE(engine.waitUntilIdle(kNoWindow));
    EXPECT_EQ(desk.sleptMs() - slept, 50u);
}

TEST_F(Capture, ABusyClipboardIsTriedSixTimes) {
    desk.failClipboardOpens(5);
    copyText(editorFrame, u"sixth try");
    EXPECT_EQ(listening().count(), 1u);

    desk.failClipboardOpens(6);
    copyText(editorFrame, u"never");
    EXPECT_EQ(listening().count(), 1u);
    desk.failClipboardOpens(0);
}

TEST_F(Capture, DataMarkedForViewersToIgnoreIsNotCaptured) {
    desk.copy(editorFrame, {sim::unicodeTextOffer(u"password"),
                            sim::bytesOffer(registeredFormats().clipboardViewerIgnore, "")});
    pump();
    EXPECT_EQ(listening().count(), 0u);
    EXPECT_EQ(tray.started, 0);
}

TEST_F(Capture, EveryCaptureIsSentToEachAutomaticHostInOrderWhileAutomaticSendingIsOn) {
    config.autoSendHosts() = {{"alpha", 1}, {"refuses", 0}, {"gamma", 3}};
    copyText(editorFrame, u"not sent");
    EXPECT_TRUE(autoSend.sent.empty());

    config.setBool(kOptAutoSend, true);
    copyText(editorFrame, u"sent");
    ASSERT_EQ(autoSend.sent.size(), 3u);
    EXPECT_EQ(autoSend.sent[0].host.host, "alpha");
    EXPECT_EQ(autoSend.sent[1].host.host, "refuses");
    EXPECT_EQ(autoSend.sent[2].host.host, "gamma");
    for (const SentRecord& s : autoSend.sent) EXPECT_EQ(s.record, front());
    EXPECT_EQ(tray.started, 2);
}

TEST_F(Capture, ACaptureTheHistoryFileCouldNotKeepIsRefusedAndTheNextOneIsKept) {
    // A small cap stands for the real one of hundreds of megabytes.
    cmn::archive::RecordLimits limits = cmn::archive::RecordLimits::forFiles();
    limits.maxTextBytes = 10;
    engine.setRecordLimits(limits);
    config.setBool(kOptAutoSend, true);
    config.autoSendHosts() = {{"alpha", 1}};
    copyText(editorFrame, u"\u00E9t\u00E9 \u00E0 Nice");  // 10 letters, 13 bytes as UTF-8
    EXPECT_EQ(listening().count(), 0u);
    EXPECT_TRUE(autoSend.sent.empty());
    EXPECT_EQ(tray.started, 0);
    copyText(editorFrame, u"ete a Nice");
    ASSERT_EQ(listening().count(), 1u);
    EXPECT_EQ(front()->text(), u"ete a Nice");
}

class ThrowingObserver final : public cb::RecordListObserver {
public:
    void recordInserted(const cb::RecordPtr&) override { throw std::runtime_error("observer"); }
    void recordRemoved(const cb::RecordPtr&) override {}
    void recordMovedToFront(size_t) override {}
    void recordsCleared() override {}
    void recordsReset() override {}
};

TEST_F(Capture, AFailureInsideACaptureIsSwallowed) {
    ThrowingObserver observer;
    listening().addObserver(&observer);
    copyText(editorFrame, u"thrown at");
    listening().removeObserver(&observer);
    EXPECT_EQ(tray.started, 0);  // the capture stopped where it failed
    copyText(editorFrame, u"after");
    EXPECT_EQ(front()->text(), u"after");
}

TEST_F(Capture, WhilePausedNothingIsCapturedAndResumingDoesNotCaptureTheJoin) {
    engine.pause();
    EXPECT_FALSE(config.getBool(kOptRecording));
    EXPECT_NE(desk.viewerChainHead(), mainWindow);
    copyText(editorFrame, u"while paused");
    EXPECT_EQ(listening().count(), 0u);
    // A chain check while paused does nothing.
    engine.startChainCheck();
    desk.advance(2000);
    pump();
    EXPECT_EQ(listening().count(), 0u);

    const size_t requests = captureRequests();
    engine.resume();
    pump();
    EXPECT_TRUE(config.getBool(kOptRecording));
    EXPECT_EQ(desk.viewerChainHead(), mainWindow);
    EXPECT_EQ(captureRequests(), requests);
    copyText(editorFrame, u"after resuming");
    EXPECT_EQ(listening().count(), 1u);
}

}  // namespace
}  // namespace engine_test
