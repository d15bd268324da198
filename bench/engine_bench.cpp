// What one clipboard change costs the engine, from the desktop's notification to the record at
// the front of the listening list, on the simulated desktop: for 1 KB of text, and for a full-HD
// 32-bit picture, whose cost is mostly encoding it as PNG (measured on its own for comparison).
// Two contents alternate, so that no capture is dropped as a duplicate of the one before.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/clipboard_engine.h"
#include "model/bitmap_item.h"
#include "model/history.h"
#include "persist/config/app_config.h"
#include "platform/bitmap_info.h"
#include "platform/clipboard_formats.h"
#include "platform/sim/sim_desktop.h"
#include "platform/text_codec.h"

namespace {

using namespace platform;

// Counts the captures: the engine starts the tray animation once per record it keeps.
struct CaptureCounter final : engine::TrayAnimation {
    void startTrayAnimation() override { ++captures; }
    int64_t captures = 0;
};

// The engine started on a simulated desktop, with a main window that hands it its messages.
struct Rig {
    Rig() {
        engine.setTrayAnimation(&counter);
        config.setBool(1005, true);  // pictures are recorded
        history.resetToDefault();
        mainWindow = sim.desktop().createWindow(u"QuilletMainFrame", [this](uint32_t m, uintptr_t w, intptr_t l) {
            intptr_t result = 0;
            engine.handleMessage(m, w, l, result);
            return result;
        });
        const ProcessId editor = sim.control().addProgram(u"/usr/bin/editor");
        owner = sim.control().addWindow(editor, u"EditorFrame");
        sim.control().focus(owner);
        engine.start(mainWindow);
    }
    ~Rig() { engine.stop(); }

    void capture(std::vector<sim::ClipboardOffer> offers) {
        sim.control().copy(owner, std::move(offers));
        sim.control().pumpMessages();
    }

    sim::SimDesktop sim;
    AppConfig config;
    cb::History history;
    ClipboardEngine engine{sim.desktop(), config, history};
    CaptureCounter counter;
    WindowHandle mainWindow = kNoWindow;
    WindowHandle owner = kNoWindow;
};

std::vector<sim::ClipboardOffer> textOffers(char16_t fill) {
    const std::u16string text(1024, fill);
    return {sim::unicodeTextOffer(text), sim::ansiTextOffer(utf16ToAnsi(text))};
}

// A bottom-up 1920 x 1080 32-bit picture with soft gradients, closer to a screenshot than noise.
std::string fullHdDib(int seed) {
    BitmapInfoHeader header;
    header.biWidth = 1920;
    header.biHeight = 1080;
    header.biBitCount = 32;
    std::string dib(BitmapInfoHeader::kBytes + size_t{1920} * 1080 * 4, '\0');
    header.write(dib.data());
    unsigned char* p = reinterpret_cast<unsigned char*>(dib.data() + BitmapInfoHeader::kBytes);
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x) {
            *p++ = static_cast<unsigned char>((x / 8 + seed) & 0xFF);
            *p++ = static_cast<unsigned char>((y / 4) & 0xFF);
            *p++ = static_cast<unsigned char>(((x + y) / 16 + seed * 3) & 0xFF);
            *p++ = 0;
        }
    return dib;
}

void BM_CaptureTextChange1KB(benchmark::State& state) {
    Rig rig;
    const std::vector<sim::ClipboardOffer> contents[2] = {textOffers(u'a'), textOffers(u'b')};
    size_t n = 0;
    for (auto _ : state) rig.capture(contents[n++ & 1]);
    if (rig.counter.captures != static_cast<int64_t>(state.iterations()))
        state.SkipWithError("a change was not captured");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_CaptureTextChange1KB)->Unit(benchmark::kMicrosecond);

void BM_CaptureFullHdPicture(benchmark::State& state) {
    Rig rig;
    const std::string dibs[2] = {fullHdDib(0), fullHdDib(1)};
    size_t n = 0;
    for (auto _ : state) {
        // Making the other program's copy of the picture is not the engine's work.
        state.PauseTiming();
        std::vector<sim::ClipboardOffer> offers = {sim::bytesOffer(CF_DIB, dibs[n++ & 1])};
        state.ResumeTiming();
        rig.capture(std::move(offers));
    }
    if (rig.counter.captures != static_cast<int64_t>(state.iterations()))
        state.SkipWithError("a change was not captured");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * dibs[0].size()));
}
BENCHMARK(BM_CaptureFullHdPicture)->Unit(benchmark::kMicrosecond);

// The PNG encoding alone, for the share of it in the capture above.
void BM_EncodeFullHdPictureAsPng(benchmark::State& state) {
    const std::string dibs[2] = {fullHdDib(0), fullHdDib(1)};
    size_t n = 0;
    for (auto _ : state) {
        cb::BitmapItem item;
        const std::string& dib = dibs[n++ & 1];
        if (!item.setFromPackedDib(dib.data(), dib.size())) state.SkipWithError("not encoded");
        benchmark::DoNotOptimize(item.png().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * dibs[0].size()));
}
BENCHMARK(BM_EncodeFullHdPictureAsPng)->Unit(benchmark::kMicrosecond);

}  // namespace
