#pragma once

// The engine running on the simulated desktop, with a main window that hands its messages to
// the engine as the main frame does, and an editor program to copy from and paste into.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/clipboard_engine.h"
#include "engine/engine_services.h"
#include "engine/keyboard_hook.h"
#include "model/history.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_formats.h"
#include "platform/sim/sim_desktop.h"
#include "platform/text_codec.h"

namespace engine_test {

using namespace platform;
using platform::sim::ClipboardOffer;

struct SentRecord {
    NetworkAddress host;
    cb::RecordPtr record;
};

class RecordingAutoSend final : public engine::AutoSendTarget {
public:
    bool sendRecord(const NetworkAddress& host, const cb::RecordPtr& record) override {
        sent.push_back({host, record});
        return host.port != 0;
    }
    std::vector<SentRecord> sent;
};

class RecordingTray final : public engine::TrayAnimation {
public:
    void startTrayAnimation() override { ++started; }
    int started = 0;
};

class RecordingDispatch final : public engine::KeyboardDispatch {
public:
    bool dispatchKey(const engine::KeyEvent& event) override {
        events.push_back(event);
        return swallowIf && swallowIf(event);
    }
    std::vector<engine::KeyEvent> events;
    std::function<bool(const engine::KeyEvent&)> swallowIf;
};

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() {
        history.resetToDefault();
        mainWindow = sim.desktop().createWindow(
            u"QuilletMainFrame", [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
                intptr_t result = 0;
                engine.handleMessage(message, wParam, lParam, result);
                return result;
            });
        engine.setAutoSendTarget(&autoSend);
        engine.setTrayAnimation(&tray);
        engine.setKeyboardDispatch(&dispatch);
        editor = desk.addProgram(u"/usr/bin/editor");
        editorFrame = desk.addWindow(editor, u"EditorFrame");
        editorText = desk.addWindow(editor, u"EditorText", editorFrame);
        desk.focus(editorText);
    }
    ~EngineFixture() override {
        if (started) engine.stop();
    }

    void start() {
        engine.start(mainWindow);
        started = true;
    }
    void stop() {
        engine.stop();
        started = false;
    }

    cb::RecordList& listening() { return *history.listeningList(); }
    cb::RecordPtr front() { return listening().at(0); }
    size_t pump() { return desk.pumpMessages(); }

    // The owner's program copies the text as editors do (Unicode and ANSI), then the message
    // queue runs.
    void copyText(WindowHandle owner, std::u16string_view text) {
        desk.copy(owner, {sim::unicodeTextOffer(text), sim::ansiTextOffer(utf16ToAnsi(text))});
        pump();
    }

    // How many capture requests were posted to the main window.
    size_t captureRequests() const {
        const auto& posted = desk.postedMessages();
        return static_cast<size_t>(std::count_if(posted.begin(), posted.end(), [](const auto& m) {
            return m.message == 3038;
        }));
    }

    sim::SimDesktop sim;
    sim::DesktopControl& desk = sim.control();
    AppConfig config;
    cb::History history;
    ClipboardEngine engine{sim.desktop(), config, history};
    RecordingAutoSend autoSend;
    RecordingTray tray;
    RecordingDispatch dispatch;
    WindowHandle mainWindow = kNoWindow;
    ProcessId editor = 0;
    WindowHandle editorFrame = kNoWindow;
    WindowHandle editorText = kNoWindow;
    bool started = false;
};

// UTF-16LE bytes of the text and a NUL, as the Unicode text format holds it.
inline std::string utf16Bytes(std::u16string_view text) {
    return sim::unicodeTextOffer(text).bytes;
}

// A small bottom-up 32-bit picture, 2 x 2 pixels; the seed changes the pixels.
inline std::string smallDib(unsigned char seed) {
    BitmapInfoHeader header;
    header.biWidth = 2;
    header.biHeight = 2;
    header.biBitCount = 32;
    std::string bytes(BitmapInfoHeader::kBytes + 16, '\0');
    header.write(bytes.data());
    for (size_t i = 0; i < 16; ++i)
        bytes[BitmapInfoHeader::kBytes + i] = static_cast<char>(seed + i * 7);
    return bytes;
}

}  // namespace engine_test
