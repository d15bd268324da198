// The clipboard engine on the Wayland desktop against a real compositor (a headless Sway of our
// own, which offers zwlr_data_control_manager_v1) and real other clients (wl-copy, wl-paste,
// and a data-control client in this process where a test needs an offer wl-copy cannot make):
// what they copy becomes records, what we write they paste, and what must not be captured is
// not. Skipped where Sway or wl-clipboard is not installed or Sway cannot start.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/wayland_desktop_backend.h"
#include "engine/clipboard_engine.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/clipboard_conversions.h"
#include "platform/text_codec.h"
#include "platform/wayland/data_control.h"
#include "platform/wayland/pipe_transfer.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_desktop.h"
#include "platform/x11/poll_loop.h"
#include "tests/wayland/wayland_test_support.h"
#include "tests/x11/sample_pictures.h"

namespace {

using namespace platform;
using namespace platform::wayland;
using platform::x11::PollLoop;
using namespace std::chrono_literals;
using waylandtest::ChildProcess;

constexpr auto kLimit = 15s;

// Another client of the compositor that offers exactly the MIME types given, serving each
// one's bytes; a type mapped to nothing is never answered (its pipe stays open).
class OtherClient {
public:
    OtherClient(PollLoop& loop, const std::string& socket) : loop_(loop) {
        connection_ = WaylandConnection::open(loop_, socket.c_str());
        if (!connection_) return;
        device_ = makeDataDevice(*connection_, {});
    }
    ~OtherClient() {
        for (int fd : silent_) close(fd);
        writes_.clear();
        source_.reset();
        device_.reset();
    }
    bool ready() const { return device_ != nullptr; }

    // The source goes (and the clipboard empties) the moment its first paste is written.
    void leaveAfterFirstPaste() { leaveAfterFirst_ = true; }

    void offer(std::vector<std::pair<std::string, std::optional<std::string>>> types) {
        std::vector<std::string> names;
        for (auto& [name, bytes] : types) {
            names.push_back(name);
            bytes_[name] = bytes;
        }
        source_ = device_->createSource(
            names,
            [this](const std::string& mime, int fd) {
                const std::optional<std::string>& bytes = bytes_[mime];
                if (!bytes) return silent_.push_back(fd);
                writes_.push_back(std::make_unique<PipeWrite>(connection_->poller(), loop_, fd,
                                                              std::make_shared<const std::string>(*bytes), 5s,
                                                              [this](TransferStatus) {
                                                                  if (leaveAfterFirst_) source_.reset();
                                                              }));
            },
            [] {});
        device_->setSelection(source_.get());
    }

private:
    PollLoop& loop_;
    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<DataDevice> device_;
    std::unique_ptr<DataSource> source_;
    std::map<std::string, std::optional<std::string>> bytes_;
    std::vector<std::unique_ptr<PipeWrite>> writes_;
    std::vector<int> silent_;
    bool leaveAfterFirst_ = false;
};

class WaylandEngine : public ::testing::Test {
protected:
    void SetUp() override {
        // A reader that closes its pipe early must not end the test process.
        signal(SIGPIPE, SIG_IGN);
        if (waylandtest::findProgram("wl-copy").empty()) GTEST_SKIP() << "wl-clipboard is not installed";
        std::string error;
        sway_ = waylandtest::Sway::start(&error);
        if (!sway_) GTEST_SKIP() << "the compositor cannot start here: " << error;
        start(quietOptions());
    }

    // Nothing is left behind at the end of a test.
    static WaylandDesktopOptions quietOptions() {
        WaylandDesktopOptions options;
        options.serveAfterExit = false;
        return options;
    }

    void start(WaylandDesktopOptions options) {
        stop();
        std::string error;
        connection_ = WaylandConnection::open(loop_, sway_->socket().c_str(), &error);
        ASSERT_TRUE(connection_) << error;
        desktop_ = std::make_unique<WaylandDesktop>(*connection_, options);
        ASSERT_TRUE(desktop_->hasClipboard());
        history_.resetToDefault();
        engine_ = std::make_unique<ClipboardEngine>(*desktop_, config_, history_);
        window_ = desktop_->createWindow(u"QuilletMainWindow", [this](uint32_t m, uintptr_t w, intptr_t l) {
            intptr_t result = 0;
            return engine_->handleMessage(m, w, l, result) ? result : 0;
        });
        engine_->start(window_);
    }

    void stop() {
        if (engine_) engine_->stop();
        engine_.reset();
        desktop_.reset();
        connection_.reset();
    }

    void TearDown() override {
        programs_.clear();
        others_.clear();
        stop();
    }

    cb::RecordList& list() { return *history_.listeningList(); }
    bool runUntil(const std::function<bool()>& done) { return loop_.runUntil(done, kLimit); }
    bool waitForRecords(size_t n) { return runUntil([&] { return list().count() >= n; }); }
    // Time for a change that should not be captured to have been read and dropped.
    void settle() {
        loop_.runUntil([] { return false; }, 300ms);
        runUntil([&] { return !desktop_->reading(); });
        loop_.runUntil([] { return false; }, 100ms);
    }
    std::unique_ptr<cb::DataObject> itemsOf(size_t index) { return list().records()[index]->rebuildItems(nullptr); }

    ChildProcess& copyWithWlCopy(const std::vector<std::string>& arguments, const std::string& bytes) {
        const std::string input = sway_->filesDir() + "/in" + std::to_string(programs_.size());
        waylandtest::writeFile(input, bytes);
        std::vector<std::string> argv = {"wl-copy", "--foreground"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ChildProcess::Options options;
        options.environment = sway_->environment();
        options.stdinPath = input;
        std::string error;
        auto p = ChildProcess::spawn(argv, options, &error);
        EXPECT_TRUE(p) << error;
        programs_.push_back(std::move(p));
        return *programs_.back();
    }

    std::optional<std::string> pasteWithWlPaste(const std::string& type) {
        const std::string out = sway_->filesDir() + "/out" + std::to_string(++outputs_);
        ChildProcess::Options options;
        options.environment = sway_->environment();
        options.stdoutPath = out;
        auto p = ChildProcess::spawn({"wl-paste", "--no-newline", "--type", type}, options);
        if (!p || !runUntil([&] { return p->exited(); }) || p->exitCode() != 0) return std::nullopt;
        return waylandtest::readFile(out);
    }

    OtherClient& otherClient() {
        others_.push_back(std::make_unique<OtherClient>(loop_, sway_->socket()));
        EXPECT_TRUE(others_.back()->ready());
        return *others_.back();
    }

    PollLoop loop_;
    std::unique_ptr<waylandtest::Sway> sway_;
    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<WaylandDesktop> desktop_;
    AppConfig config_;
    cb::History history_;
    std::unique_ptr<ClipboardEngine> engine_;
    WindowHandle window_{};
    std::vector<std::unique_ptr<ChildProcess>> programs_;
    std::vector<std::unique_ptr<OtherClient>> others_;
    int outputs_ = 0;
};

std::string blockText(const cb::SimpleItem& item) { return std::string(item.block().data(), item.block().size()); }

TEST_F(WaylandEngine, TextCopiedWithWlCopyBecomesARecordWithoutSourceApplication) {
    copyWithWlCopy({}, "h\xC3\xA9llo");
    ASSERT_TRUE(waitForRecords(1));
    auto items = itemsOf(0);
    ASSERT_NE(items->findFirst<cb::TextItem>(), nullptr);
    EXPECT_EQ(items->findFirst<cb::TextItem>()->text(), u"h\u00E9llo");
    // Wayland does not tell which program copied.
    EXPECT_TRUE(list().records()[0]->application().empty());
}

TEST_F(WaylandEngine, HtmlAndPngCopiesBecomeTheirItems) {
    copyWithWlCopy({"--type", "text/html"}, "<b>bold</b> words");
    ASSERT_TRUE(waitForRecords(1));
    auto html = itemsOf(0);
    ASSERT_NE(html->findFirst<cb::HtmlItem>(), nullptr);
    EXPECT_NE(blockText(*html->findFirst<cb::HtmlItem>()).find("<b>bold</b> words"), std::string::npos);

    // Pictures are recorded once the user switches them on.
    config_.setBool(recordOptionKey(1005), true);
    copyWithWlCopy({"--type", "image/png"}, x11test::kRgbPng);
    ASSERT_TRUE(waitForRecords(2));
    auto picture = itemsOf(0);
    ASSERT_NE(picture->findFirst<cb::BitmapItem>(), nullptr);
    const auto& png = picture->findFirst<cb::BitmapItem>()->png();
    EXPECT_EQ(imageToDib("image/png", std::string(png.data(), png.size())),
              imageToDib("image/png", x11test::kRgbPng));
}

TEST_F(WaylandEngine, TheSameTextTwiceIsOneRecord) {
    copyWithWlCopy({}, "twice");
    ASSERT_TRUE(waitForRecords(1));
    copyWithWlCopy({}, "twice");
    settle();
    EXPECT_EQ(list().count(), 1u);
    copyWithWlCopy({}, "then another");
    ASSERT_TRUE(waitForRecords(2));
}

TEST_F(WaylandEngine, ACopyMarkedSecretByAPasswordManagerIsNotRecorded) {
    otherClient().offer({{"text/plain;charset=utf-8", "hunter2"}, {"x-kde-passwordManagerHint", "secret"}});
    settle();
    EXPECT_EQ(list().count(), 0u);
    // The same offer without the mark is recorded.
    otherClient().offer({{"text/plain;charset=utf-8", "hunter3"}});
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(itemsOf(0)->findFirst<cb::TextItem>()->text(), u"hunter3");
}

TEST_F(WaylandEngine, AnOwnerThatNeverAnswersOrSendsTooMuchDoesNotHoldUpTheNextCopy) {
    WaylandDesktopOptions options = quietOptions();
    options.readTimeout = 300ms;
    options.maxTargetBytes = 1000;
    start(options);
    otherClient().offer({{"text/plain;charset=utf-8", std::nullopt}});
    settle();
    otherClient().offer({{"text/plain;charset=utf-8", std::string(5000, 'x')}});
    settle();
    EXPECT_EQ(list().count(), 0u);
    copyWithWlCopy({}, "answered");
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(itemsOf(0)->findFirst<cb::TextItem>()->text(), u"answered");
}

TEST_F(WaylandEngine, ARecordWrittenBackIsPastedExactlyAsTextHtmlAndPng) {
    config_.setBool(recordOptionKey(1005), true);
    otherClient().offer({{"text/plain;charset=utf-8", "caf\xC3\xA9"},
                         {"text/html", "<i>caf\xC3\xA9</i>"},
                         {"image/png", x11test::kRgbPng}});
    ASSERT_TRUE(waitForRecords(1));
    copyWithWlCopy({}, "something else");
    ASSERT_TRUE(waitForRecords(2));

    ASSERT_TRUE(engine_->writeRecord(list().records()[1], &list()));
    EXPECT_EQ(pasteWithWlPaste("text/plain;charset=utf-8"), "caf\xC3\xA9");
    EXPECT_EQ(pasteWithWlPaste("UTF8_STRING"), "caf\xC3\xA9");
    EXPECT_EQ(pasteWithWlPaste("text/plain"), "caf\xC3\xA9");
    const std::optional<std::string> html = pasteWithWlPaste("text/html");
    ASSERT_TRUE(html);
    EXPECT_NE(html->find("<i>caf\xC3\xA9</i>"), std::string::npos);
    const std::optional<std::string> png = pasteWithWlPaste("image/png");
    ASSERT_TRUE(png);
    EXPECT_EQ(imageToDib("image/png", *png), imageToDib("image/png", x11test::kRgbPng));
    // Our own content coming back is not recorded again.
    settle();
    EXPECT_EQ(list().count(), 2u);
}

TEST_F(WaylandEngine, WhenTheOwnerLeavesAfterItsOnePasteTheRecordIsPutBack) {
    uint64_t gone = 0;
    desktop_->setOnOwnerGone([&](uint64_t serial) {
        gone = serial;
        engine_->writeRecord(engine_->lastRecord(), &list());
    });
    ChildProcess& wlCopy = copyWithWlCopy({"--paste-once"}, "only once");
    ASSERT_TRUE(waitForRecords(1));
    // Our read was its one paste.
    ASSERT_TRUE(runUntil([&] { return wlCopy.exited(); }));
    ASSERT_TRUE(runUntil([&] { return gone != 0; }));
    EXPECT_EQ(gone, desktop_->snapshotSerial());
    EXPECT_EQ(pasteWithWlPaste("text/plain;charset=utf-8"), "only once");
    EXPECT_EQ(list().count(), 1u);
}

TEST_F(WaylandEngine, AnOwnerThatLeavesTheMomentItIsReadStillLeavesItsRecordAndIsPutBack) {
    uint64_t gone = 0;
    desktop_->setOnOwnerGone([&](uint64_t serial) {
        gone = serial;
        engine_->writeRecord(engine_->lastRecord(), &list());
    });
    for (const std::string text : {"first", "second", "third"}) {
        SCOPED_TRACE(text);
        OtherClient& other = otherClient();
        other.leaveAfterFirstPaste();
        other.offer({{"text/plain;charset=utf-8", text}});
        const size_t before = list().count();
        ASSERT_TRUE(waitForRecords(before + 1));
        ASSERT_TRUE(runUntil([&] { return gone == desktop_->snapshotSerial(); }));
        EXPECT_EQ(itemsOf(0)->findFirst<cb::TextItem>()->text(), platform::utf8ToUtf16(text));
        EXPECT_EQ(pasteWithWlPaste("text/plain;charset=utf-8"), text);
    }
}

TEST_F(WaylandEngine, OurContentOutlivesTheProgramUntilAnotherClientCopies) {
    WaylandDesktopOptions options;
    options.serveAfterExit = true;
    // The program's own executable serves it; this one is a test.
    options.exitServerCommand = {QUILLET_BINARY, std::string(platform::kExitServerWord)};
    start(options);
    copyWithWlCopy({}, "kept after exit");
    ASSERT_TRUE(waitForRecords(1));
    copyWithWlCopy({}, "then replaced");
    ASSERT_TRUE(waitForRecords(2));
    ASSERT_TRUE(engine_->writeRecord(list().records()[1], &list()));
    programs_.clear();
    stop();  // the engine lets its content go, and the connection ends

    EXPECT_EQ(pasteWithWlPaste("text/plain;charset=utf-8"), "kept after exit");
    EXPECT_EQ(pasteWithWlPaste("text/html"), std::nullopt);  // what the record did not have
    // Another copy replaces it (and ends the process that kept it).
    copyWithWlCopy({}, "new");
    std::optional<std::string> now;
    for (int i = 0; i < 100 && now != "new"; ++i) now = pasteWithWlPaste("text/plain;charset=utf-8");
    EXPECT_EQ(now, "new");
}

#ifdef QUILLET_KEY_LOGGER
TEST_F(WaylandEngine, APasteIsTypedIntoTheFocusedClientWhichPastesTheRecord) {
    ASSERT_TRUE(desktop_->typesPastes());
    const std::string log = sway_->filesDir() + "/keys";
    ChildProcess::Options options;
    options.environment = sway_->environment();
    options.stdoutPath = log;
    std::string error;
    auto logger = ChildProcess::spawn({QUILLET_KEY_LOGGER}, options, &error);
    ASSERT_TRUE(logger) << error;
    // It has the keyboard focus once its window is up.
    ASSERT_TRUE(runUntil([&] { return waylandtest::readFile(log).find("enter") != std::string::npos; }))
        << waylandtest::readFile(log);

    copyWithWlCopy({}, "typed in");
    ASSERT_TRUE(waitForRecords(1));
    copyWithWlCopy({}, "on the clipboard now");
    ASSERT_TRUE(waitForRecords(2));
    ASSERT_TRUE(engine_->pasteRecord(list().records()[1], &list()));
    ASSERT_TRUE(runUntil([&] { return waylandtest::readFile(log).find("pasted") != std::string::npos; }))
        << waylandtest::readFile(log);
    const std::string keys = waylandtest::readFile(log);
    // V pressed while Control (mask 4) is held, then both let go.
    EXPECT_NE(keys.find("key 47 1 4"), std::string::npos) << keys;
    EXPECT_NE(keys.find("pasted typed in\n"), std::string::npos) << keys;
    ASSERT_TRUE(runUntil([&] { return waylandtest::readFile(log).find("key 29 0") != std::string::npos; }));
}
#endif

TEST(WaylandBackend, TellsTheProgramOnceWhenTheCompositorGoesAway) {
    std::string error;
    auto sway = waylandtest::Sway::start(&error);
    if (!sway) GTEST_SKIP() << "the compositor cannot start here: " << error;
    PollLoop loop;
    app::DesktopSettings settings;
    settings.serveAfterExit = false;
    auto backend = app::makeWaylandBackend(loop, settings, sway->socket(), error);
    ASSERT_TRUE(backend) << error;
    int lost = 0;
    backend->setOnLost([&] { ++lost; });
    EXPECT_FALSE(backend->lost());
    sway.reset();
    ASSERT_TRUE(loop.runUntil([&] { return lost > 0; }, kLimit));
    loop.runUntil([] { return false; }, 200ms);
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(backend->lost());
}

TEST(WaylandProbe, TellsWhichDataControlProtocolAndKeyboardTheCompositorOffers) {
    std::string error;
    auto sway = waylandtest::Sway::start(&error);
    if (!sway) GTEST_SKIP() << "the compositor cannot start here: " << error;
    const CompositorOffer offer = probeCompositor(sway->socket().c_str());
    EXPECT_TRUE(offer.connected);
    EXPECT_EQ(offer.dataControl, DataControlProtocol::Wlr);
    EXPECT_TRUE(offer.virtualKeyboard);
    const CompositorOffer none = probeCompositor((sway->runtimeDir() + "/no-such-socket").c_str());
    EXPECT_FALSE(none.connected);
    EXPECT_FALSE(none.error.empty());
}

}  // namespace
