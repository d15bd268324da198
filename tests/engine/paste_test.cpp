// Pasting a record into the program the user was typing in: a paste message for edit
// controls, otherwise Ctrl+V injected from the posted request, with the modifiers as the user
// holds them.

#include "engine/paste.h"
#include "engine_fixture.h"

namespace engine_test {
namespace {

class Paste : public EngineFixture {
protected:
    Paste() {
        start();
        copyText(editorFrame, u"to paste");
        record = front();
        copyText(editorFrame, u"on the clipboard");
    }

    std::vector<KeyboardInput> injectedSince(size_t from) const {
        const auto& all = desk.injectedInput();
        return {all.begin() + static_cast<ptrdiff_t>(from), all.end()};
    }
    size_t pasteKeyRequests() const {
        const auto& posted = desk.postedMessages();
        return static_cast<size_t>(std::count_if(posted.begin(), posted.end(), [](const auto& m) {
            return m.message == 3028;
        }));
    }

    cb::RecordPtr record;
};

KeyboardInput down(uint32_t vk) { return {static_cast<uint16_t>(vk), 0, 0, 0, 0}; }
KeyboardInput up(uint32_t vk) { return {static_cast<uint16_t>(vk), 0, KEYEVENTF_KEYUP, 0, 0}; }

TEST_F(Paste, AnEditControlGetsAPasteMessageAndNoKeystrokes) {
    struct Case {
        std::u16string className;
        uint32_t message;
        uintptr_t wParam;
    } cases[] = {
        {u"EDIT", WM_PASTE, 0},        {u"edit", WM_PASTE, 0},        {u"RICHEDIT50W", WM_PASTE, 0},
        {u"RichEditCEA", WM_PASTE, 0}, {u"RICHEDITCEW", WM_PASTE, 0}, {u"RICHEDIT20A", WM_PASTE, 0},
        {u"RICHEDIT", WM_PASTE, 0},    {u"richedit20w", WM_PASTE, 0},
        {u"DummyDummyTest", WM_COMMAND, 57637},
    };
    for (const Case& c : cases) {
        const WindowHandle control = desk.addWindow(editor, c.className, editorFrame);
        desk.focus(control);
        ASSERT_TRUE(engine.pasteRecord(record, &listening()));
        pump();
        const std::vector<sim::LoggedMessage> expected = {{control, c.message, c.wParam, 0, true}};
        EXPECT_EQ(desk.messagesTo(control), expected);
        EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"to paste"));
    }
    EXPECT_TRUE(desk.injectedInput().empty());
    EXPECT_EQ(pasteKeyRequests(), 0u);
    EXPECT_EQ(sim.desktop().foregroundWindow(), editorFrame);
    EXPECT_TRUE(engine.keyboardHookInstalled());
}

TEST_F(Paste, AnyOtherWindowGetsCtrlVThatLeavesTheHeldModifiersAsTheyAre) {
    struct Case {
        const char* name;
        std::vector<uint32_t> held;
        std::vector<KeyboardInput> injected;
    } cases[] = {
        {"nothing held", {}, {down(VK_CONTROL), down('V'), up('V'), up(VK_CONTROL)}},
        {"Ctrl held", {VK_LCONTROL}, {down('V'), up('V')}},
        {"Alt held",
         {VK_RMENU},
         {up(VK_MENU), down(VK_CONTROL), down('V'), up('V'), up(VK_CONTROL), down(VK_MENU)}},
        {"Ctrl and Alt held", {VK_RCONTROL, VK_LMENU}, {up(VK_MENU), down('V'), up('V'), down(VK_MENU)}},
        {"Shift and Win are not touched",
         {VK_LSHIFT, VK_LWIN},
         {down(VK_CONTROL), down('V'), up('V'), up(VK_CONTROL)}},
    };
    for (const Case& c : cases) {
        for (uint32_t vk : c.held) desk.setKeyState(vk, true);
        const size_t before = desk.injectedInput().size();
        ASSERT_TRUE(engine.pasteRecord(record, &listening())) << c.name;
        // The keys come from the posted request, with our hook out of their way until then.
        EXPECT_FALSE(engine.keyboardHookInstalled()) << c.name;
        EXPECT_EQ(desk.keyboardHookCount(), 0u) << c.name;
        EXPECT_TRUE(injectedSince(before).empty()) << c.name;
        pump();
        EXPECT_EQ(injectedSince(before), c.injected) << c.name;
        EXPECT_EQ(desk.keyboardHookCount(), 1u) << c.name;
        for (uint32_t vk : c.held) desk.setKeyState(vk, false);
    }
    // What a paste types arrives in the focused window like typed keys.
    EXPECT_TRUE(engine.deliverPaste());
    pump();
    const std::vector<sim::KeyMessage> tail = {{WM_KEYDOWN, VK_LCONTROL, true},
                                               {WM_KEYDOWN, 'V', true},
                                               {WM_KEYUP, 'V', true},
                                               {WM_KEYUP, VK_LCONTROL, true}};
    const auto keys = desk.keyMessages(editorText);
    ASSERT_GE(keys.size(), 4u);
    EXPECT_EQ(std::vector<sim::KeyMessage>(keys.end() - 4, keys.end()), tail);
}

TEST_F(Paste, TheTargetIsBroughtForwardWhenWeOrTheTaskbarOrNobodyIsInFront) {
    const WindowHandle popup =
        sim.desktop().createWindow(u"Popup", [](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
    struct Case {
        const char* name;
        std::function<void()> arrange;
    } cases[] = {
        {"our window in front", [&] { desk.focus(mainWindow); }},
        {"the taskbar in front", [&] { desk.focus(desk.taskbar()); }},
        {"nobody in front",
         [&] {
             desk.focus(popup);
             sim.desktop().destroyWindow(popup);
         }},
    };
    for (const Case& c : cases) {
        c.arrange();
        ASSERT_NE(sim.desktop().foregroundWindow(), editorFrame) << c.name;
        const size_t before = desk.injectedInput().size();
        const uint64_t slept = desk.sleptMs();
        ASSERT_TRUE(engine.pasteRecord(record, &listening())) << c.name;
        EXPECT_EQ(sim.desktop().foregroundWindow(), editorFrame) << c.name;
        EXPECT_GE(desk.sleptMs() - slept, 20u) << c.name;
        pump();
        EXPECT_EQ(injectedSince(before).size(), 4u) << c.name;
    }
}

TEST_F(Paste, ATargetThatCannotComeForwardGetsNothingButTheClipboardIsWritten) {
    desk.focus(mainWindow);
    desk.refuseForeground(true);
    EXPECT_TRUE(engine.pasteRecord(record, &listening()));
    pump();
    EXPECT_EQ(pasteKeyRequests(), 0u);
    EXPECT_TRUE(desk.injectedInput().empty());
    EXPECT_TRUE(engine.keyboardHookInstalled());
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"to paste"));
}

TEST_F(Paste, WithoutATargetTheRecordIsStillWrittenAndThePasteSucceeds) {
    desk.closeWindow(editorFrame);
    EXPECT_TRUE(engine.pasteRecord(record, &listening()));
    EXPECT_FALSE(engine.deliverPaste());
    pump();
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"to paste"));
    EXPECT_EQ(pasteKeyRequests(), 0u);
    EXPECT_TRUE(engine.keyboardHookInstalled());
}

TEST_F(Paste, AStillHeldVInjectsNothingButTheHookComesBack) {
    ASSERT_TRUE(engine.pasteRecord(record, &listening()));
    desk.setKeyState('V', true);
    pump();
    EXPECT_TRUE(desk.injectedInput().empty());
    EXPECT_TRUE(engine.keyboardHookInstalled());
}

TEST_F(Paste, ARecordThatCannotBeWrittenIsNotPasted) {
    desk.failClipboardWrites(true);
    EXPECT_FALSE(engine.pasteRecord(record, &listening()));
    pump();
    EXPECT_EQ(pasteKeyRequests(), 0u);
    EXPECT_EQ(engine.lastRecord(), front());
}

TEST_F(Paste, TheTargetsProgramIsWaitedForBeforeTheWriteAndBeforeTheKeys) {
    desk.clearCalls();
    ASSERT_TRUE(engine.pasteRecord(record, &listening()));
    pump();
    std::vector<std::string> order;
    for (const std::string& c : desk.calls())
        if ((c == "openProcess" || c == "oleSetClipboard" || c == "sendInput") &&
            (order.empty() || order.back() != c))
            order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"openProcess", "oleSetClipboard", "openProcess", "sendInput"}));
}

TEST_F(Paste, WhenTheKeysCannotBeRequestedTheHookStaysInstalled) {
    sim.desktop().destroyWindow(mainWindow);
    EXPECT_TRUE(engine.deliverPaste());
    EXPECT_TRUE(engine.keyboardHookInstalled());
    EXPECT_EQ(desk.keyboardHookCount(), 1u);
}

TEST(PasteRules, DeliveryByClassAndKeystrokesByHeldModifiers) {
    EXPECT_EQ(engine::deliveryForClass(u"RichEdit50W"), engine::PasteDelivery::PasteMessage);
    EXPECT_EQ(engine::deliveryForClass(u"dummydummytest"), engine::PasteDelivery::PasteCommand);
    EXPECT_EQ(engine::deliveryForClass(u"EDIT2"), engine::PasteDelivery::Keystrokes);
    EXPECT_EQ(engine::deliveryForClass(u""), engine::PasteDelivery::Keystrokes);
    EXPECT_EQ(engine::pasteKeystrokes(true, false),
              (std::vector<KeyboardInput>{down('V'), up('V')}));
}

}  // namespace
}  // namespace engine_test
