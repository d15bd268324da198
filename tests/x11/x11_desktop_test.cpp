// The clipboard engine on the X11 desktop against a real X server (Xvfb of our own) and real
// other programs (xclip): what they copy becomes records, what we write they paste, and what
// must not be captured is not. Skipped where Xvfb or xclip is not installed.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/clipboard_engine.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"
#include "persist/config/option_keys.h"
#include "platform/text_codec.h"
#include "platform/clipboard_conversions.h"
#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/x11_desktop.h"
#include "tests/x11/sample_pictures.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace platform;
using namespace platform::x11;
using namespace std::chrono_literals;
using x11test::ChildProcess;

constexpr auto kLimit = 15s;

class X11Engine : public ::testing::Test {
protected:
    void SetUp() override {
        if (x11test::findProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
        if (x11test::findProgram("xclip").empty()) GTEST_SKIP() << "xclip is not installed";
        std::string error;
        xvfb_ = x11test::Xvfb::start(&error);
        ASSERT_TRUE(xvfb_) << error;
        connection_ = open();
        ASSERT_TRUE(connection_);
        X11DesktopOptions options;
        options.serveAfterExit = false;
        history_.resetToDefault();
        startEngine(options);
    }

    void startEngine(const X11DesktopOptions& options) {
        engine_.reset();
        desktop_.reset();
        desktop_ = std::make_unique<X11Desktop>(*connection_, options);
        engine_ = std::make_unique<ClipboardEngine>(*desktop_, config_, history_);
        window_ = desktop_->createWindow(u"QuilletMainWindow", [this](uint32_t m, uintptr_t w, intptr_t l) {
            intptr_t result = 0;
            return engine_->handleMessage(m, w, l, result) ? result : 0;
        });
        engine_->start(window_);
    }

    void TearDown() override {
        programs_.clear();
        if (engine_) engine_->stop();
        engine_.reset();
        desktop_.reset();
        for (Connection* c : watched_) loop_.unwatch(c->fd());
        others_.clear();
        if (connection_) loop_.unwatch(connection_->fd());
        connection_.reset();
    }

    std::unique_ptr<Connection> open() {
        std::string error;
        auto c = Connection::open(loop_, xvfb_->display().c_str(), &error);
        EXPECT_TRUE(c) << error;
        if (c) {
            Connection* p = c.get();
            loop_.watch(p->fd(), [p] { p->processPendingEvents(); });
        }
        return c;
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

    ChildProcess& copyWithXclip(const std::string& target, const std::string& bytes) {
        const std::string input = dir_.write("in" + std::to_string(programs_.size()), bytes);
        std::string error;
        auto p = ChildProcess::spawn({"xclip", "-selection", "clipboard", "-t", target, "-i", "-quiet"},
                                     xvfb_->display(), input, {}, &error);
        EXPECT_TRUE(p) << error;
        programs_.push_back(std::move(p));
        return *programs_.back();
    }

    std::optional<std::string> pasteWithXclip(const std::string& target) {
        const std::string out = dir_.path() + "/out" + std::to_string(++outputs_);
        auto p = ChildProcess::spawn({"xclip", "-selection", "clipboard", "-o", "-t", target}, xvfb_->display(), {},
                                     out);
        if (!p || !runUntil([&] { return p->exited(); }) || p->exitCode() != 0) return std::nullopt;
        return x11test::TempDir::read(out);
    }

    std::unique_ptr<cb::DataObject> itemsOf(size_t index) {
        return list().records()[index]->rebuildItems(nullptr);
    }

    platform::x11::PollLoop loop_;
    x11test::TempDir dir_;
    std::unique_ptr<x11test::Xvfb> xvfb_;
    std::unique_ptr<Connection> connection_;
    std::vector<Connection*> watched_;
    std::vector<std::unique_ptr<Connection>> others_;
    std::unique_ptr<X11Desktop> desktop_;
    AppConfig config_;
    cb::History history_;
    std::unique_ptr<ClipboardEngine> engine_;
    platform::WindowHandle window_{};
    std::vector<std::unique_ptr<ChildProcess>> programs_;
    int outputs_ = 0;
};

TEST_F(X11Engine, WhatAnotherProgramCopiesBecomesARecordWithItsProgram) {
    ChildProcess& xclip = copyWithXclip("UTF8_STRING", "h\xC3\xA9llo");
    ASSERT_TRUE(waitForRecords(1));
    auto items = itemsOf(0);
    ASSERT_NE(items->findFirst<cb::TextItem>(), nullptr);
    EXPECT_EQ(items->findFirst<cb::TextItem>()->text(), u"h\u00E9llo");
    EXPECT_EQ(platform::utf16ToUtf8(list().records()[0]->application()),
              std::filesystem::canonical(x11test::findProgram("xclip")).string());
    EXPECT_GT(xclip.pid(), 0);
}

TEST_F(X11Engine, HtmlGetsTheWindowsHeaderAndPicturesArePng) {
    copyWithXclip("text/html", "<b>bold</b>");
    ASSERT_TRUE(waitForRecords(1));
    auto html = itemsOf(0);
    ASSERT_NE(html->findFirst<cb::HtmlItem>(), nullptr);
    const auto& block = html->findFirst<cb::HtmlItem>()->block();
    const std::string bytes(block.data(), block.size());
    EXPECT_EQ(bytes.rfind("Version:", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("<!--StartFragment--><b>bold</b><!--EndFragment-->"), std::string::npos) << bytes;

    // Pictures are recorded once the user switches them on.
    config_.setBool(recordOptionKey(1005), true);
    copyWithXclip("image/png", x11test::kRgbPng);
    ASSERT_TRUE(waitForRecords(2));
    auto picture = itemsOf(0);
    ASSERT_NE(picture->findFirst<cb::BitmapItem>(), nullptr);
    const auto& png = picture->findFirst<cb::BitmapItem>()->png();
    EXPECT_EQ(std::string(png.data(), 8), "\x89PNG\r\n\x1A\n");
}

TEST_F(X11Engine, TheSameTextCopiedTwiceIsOneRecord) {
    copyWithXclip("UTF8_STRING", "twice");
    ASSERT_TRUE(waitForRecords(1));
    copyWithXclip("UTF8_STRING", "twice");
    settle();
    EXPECT_EQ(list().count(), 1u);
}

TEST_F(X11Engine, APasswordManagersSecretIsNotCaptured) {
    // An owner offering the hint with its text, as password managers do.
    auto other = open();
    ASSERT_TRUE(other);
    SelectionOwner owner(*other, "CLIPBOARD");
    ASSERT_TRUE(owner.own({{std::string(target::kPasswordHint), "secret"}, {"UTF8_STRING", "hunter2"}}));
    settle();
    EXPECT_EQ(list().count(), 0u);
    // The same owner without the hint is captured.
    ASSERT_TRUE(owner.own({{std::string(target::kPasswordHint), "not secret"}, {"UTF8_STRING", "shown"}}));
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(itemsOf(0)->findFirst<cb::TextItem>()->text(), u"shown");
    owner.disown();
    loop_.unwatch(other->fd());
}

TEST_F(X11Engine, OurWriteIsServedAndNotCapturedAgain) {
    copyWithXclip("UTF8_STRING", "first");
    ASSERT_TRUE(waitForRecords(1));
    copyWithXclip("text/html", "<i>second</i>");
    ASSERT_TRUE(waitForRecords(2));
    // The older record back on the clipboard.
    ASSERT_TRUE(engine_->writeRecord(list().records()[1], &list()));
    EXPECT_EQ(pasteWithXclip("UTF8_STRING"), "first");
    const std::optional<std::string> targets = pasteWithXclip("TARGETS");
    ASSERT_TRUE(targets);
    EXPECT_NE(targets->find(target::kQuilletTag), std::string::npos) << *targets;
    settle();
    EXPECT_EQ(list().count(), 2u);
}

TEST_F(X11Engine, AStoredPictureIsServedAsPng) {
    config_.setBool(recordOptionKey(1005), true);
    copyWithXclip("image/png", x11test::kRgbPng);
    ASSERT_TRUE(waitForRecords(1));
    copyWithXclip("UTF8_STRING", "text after");
    ASSERT_TRUE(waitForRecords(2));
    ASSERT_TRUE(engine_->writeRecord(list().records()[1], &list()));
    const std::optional<std::string> targets = pasteWithXclip("TARGETS");
    ASSERT_TRUE(targets);
    EXPECT_NE(targets->find("image/png"), std::string::npos) << *targets;
    const std::optional<std::string> png = pasteWithXclip("image/png");
    ASSERT_TRUE(png);
    EXPECT_EQ(imageToDib("image/png", *png), imageToDib("image/png", x11test::kRgbPng));
}

TEST_F(X11Engine, WhenTheOwnerExitsWeTakeTheClipboardBack) {
    desktop_->setOnOwnerGone([this](uint64_t) { engine_->writeRecord(engine_->lastRecord(), &list()); });
    ChildProcess& xclip = copyWithXclip("UTF8_STRING", "outlives");
    ASSERT_TRUE(waitForRecords(1));
    xclip.stop();
    ASSERT_TRUE(runUntil([&] { return desktop_->oleIsCurrentClipboard(engine_->ownDataObject()) == platform::S_OK; }));
    EXPECT_EQ(pasteWithXclip("UTF8_STRING"), "outlives");
}

// At exit, with no clipboard manager, our content is handed to a process started for it; when
// that process cannot take it, the flush says the content is lost rather than that it is kept.
TEST_F(X11Engine, AFlushThatNobodyTakesOverIsAFailure) {
    struct Case {
        const char* what;
        std::vector<std::string> command;
    };
    const Case cases[] = {
        {"cannot be started", {"/nonexistent/quillet"}},
        {"ends at once", {"/bin/false"}},
        {"never takes the clipboard", {"/bin/sh", "-c", "exec sleep 60"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine_->stop();
        X11DesktopOptions options;
        options.exitServerCommand = c.command;
        options.exitServerTimeout = 500ms;
        startEngine(options);
        const size_t before = list().count();
        copyWithXclip("UTF8_STRING", c.what);
        ASSERT_TRUE(waitForRecords(before + 1));
        ASSERT_TRUE(engine_->writeRecord(list().records()[0], &list()));
        EXPECT_FALSE(engine_->stop());
    }
}

TEST_F(X11Engine, PausedEngineCapturesNothingUntilStarted) {
    engine_->pause();
    copyWithXclip("UTF8_STRING", "while paused");
    settle();
    EXPECT_EQ(list().count(), 0u);
    engine_->resume();
    copyWithXclip("UTF8_STRING", "after");
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(itemsOf(0)->findFirst<cb::TextItem>()->text(), u"after");
}

}  // namespace
