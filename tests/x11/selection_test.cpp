// The selection reader, owner and monitor against a real X server (Xvfb of our own) and a
// real other program (xclip). Skipped where Xvfb or xclip is not installed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clipboard_conversions.h"
#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/selection_monitor.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/selection_reader.h"
#include "platform/x11/window_process.h"
#include "tests/x11/sample_pictures.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace platform;
using namespace platform::x11;
using namespace std::chrono_literals;
using x11test::ChildProcess;

// No wait in these tests lasts longer than this; reaching it fails the test.
constexpr auto kLimit = 15s;

// Bytes that are not all alike, so a misplaced chunk shows.
std::string pattern(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

class X11Selection : public ::testing::Test {
protected:
    void SetUp() override {
        if (x11test::findProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
        if (x11test::findProgram("xclip").empty()) GTEST_SKIP() << "xclip is not installed";
        std::string error;
        xvfb_ = x11test::Xvfb::start(&error);
        ASSERT_TRUE(xvfb_) << error;
        connection_ = openConnection();
        ASSERT_NE(connection_, nullptr);
    }

    void TearDown() override {
        programs_.clear();
        for (Connection* c : watched_) loop_.unwatch(c->fd());
        watched_.clear();
    }

    // A connection of the test's own, open until the test ends; its events are read by the loop
    // unless `watch` is false.
    Connection* openConnection(bool watch = true) {
        std::string error;
        auto c = Connection::open(loop_, xvfb_->display().c_str(), &error);
        EXPECT_TRUE(c) << error;
        if (!c) return nullptr;
        Connection* p = c.get();
        if (watch) {
            loop_.watch(p->fd(), [p] { p->processPendingEvents(); });
            watched_.push_back(p);
        }
        connections_.push_back(std::move(c));
        return p;
    }

    bool runUntil(const std::function<bool()>& done) { return loop_.runUntil(done, kLimit); }

    // xclip owning CLIPBOARD (or another selection) with `bytes` under `target`, in the
    // foreground so that its pid is the one that serves.
    ChildProcess& copyWithXclip(const std::string& target, const std::string& bytes,
                                const std::string& selection = "clipboard") {
        const std::string input = dir_.write("in" + std::to_string(programs_.size()), bytes);
        std::string error;
        auto p = ChildProcess::spawn({"xclip", "-selection", selection, "-t", target, "-i", "-quiet"},
                                     xvfb_->display(), input, {}, &error);
        EXPECT_TRUE(p) << error;
        programs_.push_back(std::move(p));
        return *programs_.back();
    }

    // Waits until a program other than us owns the selection.
    bool waitForForeignOwner(const std::string& selection = "CLIPBOARD") {
        return runUntil([&] {
            const XId owner = connection_->selectionOwner(selection);
            return owner != 0 && !connection_->isOurWindow(owner);
        });
    }

    struct Output {
        bool finished = false;
        int exitCode = -1;
        std::string bytes;
    };
    // What `xclip -o -t target` prints, while our loop keeps serving.
    Output pasteWithXclip(const std::string& target) {
        const std::string out = dir_.path() + "/out" + std::to_string(++outputs_);
        std::string error;
        auto p = ChildProcess::spawn({"xclip", "-selection", "clipboard", "-o", "-t", target}, xvfb_->display(), {},
                                     out, &error);
        EXPECT_TRUE(p) << error;
        Output o;
        if (!p) return o;
        o.finished = runUntil([&] { return p->exited(); });
        o.exitCode = p->exitCode();
        o.bytes = x11test::TempDir::read(out);
        return o;
    }

    ReadResult readTarget(SelectionReader& reader, const std::string& target) {
        std::optional<ReadResult> result;
        reader.readTarget(target, [&](ReadResult r) { result = std::move(r); });
        EXPECT_TRUE(runUntil([&] { return result.has_value(); })) << target;
        return result.value_or(ReadResult{});
    }

    std::optional<std::vector<std::string>> readTargets(SelectionReader& reader) {
        std::optional<std::vector<std::string>> names;
        reader.readTargets([&](ReadStatus status, std::vector<std::string> n) {
            EXPECT_EQ(status, ReadStatus::Ok);
            names = std::move(n);
        });
        EXPECT_TRUE(runUntil([&] { return names.has_value(); }));
        return names;
    }

    PollLoop loop_;
    x11test::TempDir dir_;
    std::unique_ptr<x11test::Xvfb> xvfb_;
    std::vector<Connection*> watched_;
    std::vector<std::unique_ptr<Connection>> connections_;  // closed before the server stops
    Connection* connection_ = nullptr;
    std::vector<std::unique_ptr<ChildProcess>> programs_;
    int outputs_ = 0;
};

TEST_F(X11Selection, ReaderGetsTheTargetsAndBytesAnotherProgramCopied) {
    struct Case {
        std::string target;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF8_STRING", "h\xC3\xA9llo, world"},
        {"text/html", "<meta charset=\"utf-8\"><b>bold</b> text"},
        {"image/png", x11test::kRgbPng},
        {"text/uri-list", "file:///tmp/a%20b.txt\r\nfile:///tmp/c\r\n"},
    };
    SelectionReader reader(*connection_);
    for (const Case& c : cases) {
        ChildProcess& xclip = copyWithXclip(c.target, c.bytes);
        ASSERT_TRUE(waitForForeignOwner()) << c.target;
        const auto names = readTargets(reader);
        ASSERT_TRUE(names) << c.target;
        EXPECT_NE(std::find(names->begin(), names->end(), "TARGETS"), names->end()) << c.target;
        EXPECT_NE(std::find(names->begin(), names->end(), c.target), names->end()) << c.target;

        const ReadResult r = readTarget(reader, c.target);
        EXPECT_EQ(r.status, ReadStatus::Ok) << c.target;
        EXPECT_EQ(r.target, c.target);
        EXPECT_EQ(r.type, c.target);
        EXPECT_EQ(r.format, 8);
        EXPECT_EQ(r.data, c.bytes) << c.target;
        EXPECT_FALSE(r.incremental);
        xclip.stop();
    }
}

TEST_F(X11Selection, SnapshotReadsThePlannedTargetsAndTheyConvert) {
    Connection* other = openConnection();
    ASSERT_NE(other, nullptr);
    SelectionOwner owner(*other);
    ASSERT_TRUE(owner.own({{"text/html", "<i>x</i>"}, {"UTF8_STRING", "x"}}));
    SelectionReader reader(*connection_);
    std::optional<Snapshot> snapshot;
    reader.readSnapshot(
        [](const std::vector<std::string>& offered) {
            std::vector<std::vector<std::string>> groups;
            for (const TargetPlan& plan : planRead(offered)) groups.push_back(plan.candidates);
            // A first choice the owner refuses falls back to the next one of its group.
            if (!groups.empty()) groups[0].insert(groups[0].begin(), "text/x-not-offered");
            return groups;
        },
        [&](Snapshot s) { snapshot = std::move(s); });
    ASSERT_TRUE(runUntil([&] { return snapshot.has_value(); }));
    EXPECT_EQ(snapshot->status, ReadStatus::Ok);
    EXPECT_EQ(snapshot->offered,
              (std::vector<std::string>{"TARGETS", "TIMESTAMP", "MULTIPLE", "text/html", "UTF8_STRING"}));
    ASSERT_EQ(snapshot->items.size(), 2u);
    EXPECT_EQ(snapshot->items[0].target, "text/html");
    EXPECT_EQ(snapshot->items[0].data, "<i>x</i>");
    EXPECT_EQ(snapshot->items[1].target, "UTF8_STRING");
    EXPECT_EQ(snapshot->items[1].data, "x");
    const auto html = toWindows(WinFormat::Html, snapshot->items[0].target, snapshot->items[0].data);
    ASSERT_TRUE(html);
    EXPECT_EQ(htmlFormatToHtml(*html),
              "<html>\r\n<body>\r\n<!--StartFragment--><i>x</i><!--EndFragment-->\r\n</body>\r\n</html>");
}

TEST_F(X11Selection, ReaderFollowsAnIncrementalTransfer) {
    // Far above what one request may carry, so the owner has to send it in chunks.
    const std::string big = pattern(8u << 20);
    copyWithXclip("application/octet-stream", big);
    ASSERT_TRUE(waitForForeignOwner());
    SelectionReader reader(*connection_);
    const ReadResult r = readTarget(reader, "application/octet-stream");
    EXPECT_EQ(r.status, ReadStatus::Ok);
    EXPECT_TRUE(r.incremental);
    EXPECT_EQ(r.data.size(), big.size());
    EXPECT_TRUE(r.data == big);
}

TEST_F(X11Selection, ReaderRefusesWhatItCannotTake) {
    SelectionReader reader(*connection_, "CLIPBOARD", ReadOptions{5000ms, 1000});
    EXPECT_EQ(readTarget(reader, "UTF8_STRING").status, ReadStatus::NoOwner);

    copyWithXclip("text/plain", std::string(5000, 'x'));
    ASSERT_TRUE(waitForForeignOwner());
    EXPECT_EQ(readTarget(reader, "text/plain").status, ReadStatus::TooLarge);
    programs_.clear();

    // xclip answers any target with its data; our owner refuses what it does not have.
    {
        Connection* other = openConnection();
        ASSERT_NE(other, nullptr);
        SelectionOwner owner(*other);
        ASSERT_TRUE(owner.own({{"UTF8_STRING", "x"}}));
        EXPECT_EQ(readTarget(reader, "text/x-not-offered").status, ReadStatus::Refused);
        EXPECT_EQ(readTarget(reader, "UTF8_STRING").data, "x");
    }

    // Also when the size is only announced, at the start of a transfer in chunks.
    copyWithXclip("application/octet-stream", pattern(4u << 20));
    ASSERT_TRUE(waitForForeignOwner());
    reader.setOptions(ReadOptions{5000ms, 1u << 20});
    EXPECT_EQ(readTarget(reader, "application/octet-stream").status, ReadStatus::TooLarge);
    // The reader goes on working after a refusal.
    reader.setOptions(ReadOptions{5000ms, 8u << 20});
    EXPECT_EQ(readTarget(reader, "application/octet-stream").data.size(), 4u << 20);
}

TEST_F(X11Selection, ReaderGivesUpOnAnOwnerThatDoesNotAnswer) {
    // An owner on a connection whose loop never runs, so nobody reads its events.
    PollLoop idle;
    std::string error;
    auto silent = Connection::open(idle, xvfb_->display().c_str(), &error);
    ASSERT_TRUE(silent) << error;
    SelectionOwner owner(*silent);
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "never sent"}}));
    SelectionReader reader(*connection_, "CLIPBOARD", ReadOptions{300ms, 1000});
    EXPECT_EQ(readTarget(reader, "UTF8_STRING").status, ReadStatus::Timeout);
    EXPECT_FALSE(reader.busy());
}

TEST_F(X11Selection, OwnerServesExactlyItsTargetsToAnotherProgram) {
    SelectionOwner owner(*connection_);
    const std::vector<TargetData> targets = {
        {"text/html", "<b>bold</b>"},
        {"image/png", x11test::kRgbPng},
        {"UTF8_STRING", "h\xC3\xA9llo"},
        {"text/html", "a later duplicate is ignored"},
    };
    ASSERT_TRUE(owner.own(targets));
    EXPECT_TRUE(owner.owns());
    EXPECT_EQ(connection_->selectionOwner("CLIPBOARD"), owner.window());

    const Output list = pasteWithXclip("TARGETS");
    ASSERT_TRUE(list.finished);
    EXPECT_EQ(list.bytes, "TARGETS\nTIMESTAMP\nMULTIPLE\ntext/html\nimage/png\nUTF8_STRING\n");
    for (const auto& [target, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"text/html", "<b>bold</b>"}, {"image/png", x11test::kRgbPng}, {"UTF8_STRING", "h\xC3\xA9llo"}}) {
        const Output o = pasteWithXclip(target);
        ASSERT_TRUE(o.finished) << target;
        EXPECT_EQ(o.exitCode, 0) << target;
        EXPECT_EQ(o.bytes, bytes) << target;
    }
    const Output missing = pasteWithXclip("text/rtf");
    ASSERT_TRUE(missing.finished);
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_EQ(missing.bytes, "");
}

TEST_F(X11Selection, OwnerAnswersTimestampAndMultiple) {
    SelectionOwner owner(*connection_);
    ASSERT_TRUE(owner.own({{"text/html", "<p>h</p>"}, {"UTF8_STRING", "plain"}}));

    Connection* other = openConnection();
    ASSERT_NE(other, nullptr);
    SelectionReader reader(*other);
    const ReadResult stamp = readTarget(reader, "TIMESTAMP");
    ASSERT_EQ(stamp.status, ReadStatus::Ok);
    EXPECT_EQ(stamp.type, "INTEGER");
    ASSERT_EQ(stamp.data.size(), 4u);
    uint32_t time = 0;
    std::memcpy(&time, stamp.data.data(), 4);
    EXPECT_EQ(time, owner.ownershipTime());
    EXPECT_NE(time, 0u);

    const auto values = x11test::requestMultiple(
        xvfb_->display(), {"UTF8_STRING", "text/rtf", "text/html"}, [&] { loop_.runOnce(5ms); }, kLimit);
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 3u);
    EXPECT_EQ((*values)[0], "plain");
    EXPECT_EQ((*values)[1], std::nullopt);
    EXPECT_EQ((*values)[2], "<p>h</p>");
}

TEST_F(X11Selection, OwnerSendsLargeDataIncrementally) {
    const std::string big = pattern((1u << 20) + 123);
    SelectionOwner owner(*connection_, "CLIPBOARD", OwnerOptions{64u << 10, 5000ms});
    ASSERT_TRUE(owner.own({{"application/octet-stream", big}, {"UTF8_STRING", "small"}}));

    const Output o = pasteWithXclip("application/octet-stream");
    ASSERT_TRUE(o.finished);
    EXPECT_EQ(o.bytes.size(), big.size());
    EXPECT_TRUE(o.bytes == big);

    Connection* other = openConnection();
    ASSERT_NE(other, nullptr);
    SelectionReader reader(*other);
    const ReadResult r = readTarget(reader, "application/octet-stream");
    EXPECT_EQ(r.status, ReadStatus::Ok);
    EXPECT_TRUE(r.incremental);
    EXPECT_TRUE(r.data == big);
    EXPECT_EQ(readTarget(reader, "UTF8_STRING").data, "small");
    EXPECT_TRUE(runUntil([&] { return owner.activeTransfers() == 0; }));
}

TEST_F(X11Selection, OwnerGivesUpWhenAnotherProgramCopies) {
    SelectionOwner owner(*connection_);
    bool lost = false;
    owner.setOnLost([&] { lost = true; });
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "ours"}}));
    copyWithXclip("UTF8_STRING", "theirs");
    ASSERT_TRUE(runUntil([&] { return lost; }));
    EXPECT_FALSE(owner.owns());
    EXPECT_TRUE(owner.targets().empty());

    SelectionReader reader(*connection_);
    EXPECT_EQ(readTarget(reader, "UTF8_STRING").data, "theirs");
}

TEST_F(X11Selection, MonitorReportsChangesOfTheClipboardOnly) {
    SelectionMonitor monitor(*connection_);
    std::vector<SelectionChange> changes;
    monitor.start([&](const SelectionChange& c) { changes.push_back(c); });

    // Another program's copy.
    ChildProcess& xclip = copyWithXclip("UTF8_STRING", "theirs");
    ASSERT_TRUE(runUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes[0].kind, SelectionChangeKind::NewOwner);
    EXPECT_FALSE(changes[0].ours);
    EXPECT_NE(changes[0].owner, 0u);
    EXPECT_EQ(changes[0].owner, connection_->selectionOwner("CLIPBOARD"));

    // The program exits: the clipboard has no owner.
    xclip.stop();
    ASSERT_TRUE(runUntil([&] { return changes.size() >= 2; }));
    EXPECT_EQ(changes[1].kind, SelectionChangeKind::OwnerClientClosed);
    EXPECT_EQ(changes[1].owner, 0u);

    // Our own copy is recognisable.
    SelectionOwner owner(*connection_);
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "ours"}}));
    ASSERT_TRUE(runUntil([&] { return changes.size() >= 3; }));
    EXPECT_EQ(changes[2].kind, SelectionChangeKind::NewOwner);
    EXPECT_TRUE(changes[2].ours);
    EXPECT_EQ(changes[2].owner, owner.window());
    EXPECT_EQ(changes[2].selectionTimestamp, owner.ownershipTime());

    // PRIMARY is not the clipboard. Once its new owner is seen through a round trip of ours,
    // any notification for it would already have been queued before that answer.
    copyWithXclip("UTF8_STRING", "selected", "primary");
    ASSERT_TRUE(waitForForeignOwner("PRIMARY"));
    connection_->processPendingEvents();
    EXPECT_EQ(changes.size(), 3u);

    // Stopped, it reports nothing.
    monitor.stop();
    copyWithXclip("UTF8_STRING", "unseen");
    ASSERT_TRUE(waitForForeignOwner());
    connection_->processPendingEvents();
    EXPECT_EQ(changes.size(), 3u);
}

TEST_F(X11Selection, OwnerWindowsNameTheirProgram) {
    ChildProcess& xclip = copyWithXclip("UTF8_STRING", "theirs");
    ASSERT_TRUE(waitForForeignOwner());
    const XId theirs = connection_->selectionOwner("CLIPBOARD");
    EXPECT_EQ(windowProcessId(*connection_, theirs), xclip.pid());
    EXPECT_EQ(processExecutablePath(xclip.pid()),
              std::filesystem::canonical(x11test::findProgram("xclip")).string());

    SelectionOwner owner(*connection_);
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "ours"}}));
    EXPECT_EQ(windowProcessId(*connection_, owner.window()), ::getpid());

    // Once the program is gone, its window and its process name nothing.
    const pid_t gone = xclip.pid();
    xclip.stop();
    EXPECT_EQ(windowProcessId(*connection_, theirs), 0);
    EXPECT_EQ(processExecutablePath(gone), "");
    EXPECT_EQ(windowProcessId(*connection_, 0), 0);
}

TEST_F(X11Selection, ConnectionLossIsReportedAndNotFatal) {
    bool lost = false;
    connection_->setOnLost([&] { lost = true; });
    SelectionOwner owner(*connection_);
    SelectionMonitor monitor(*connection_);
    monitor.start([](const SelectionChange&) {});
    ASSERT_TRUE(owner.own({{"UTF8_STRING", "ours"}}));
    xvfb_->kill();
    ASSERT_TRUE(runUntil([&] { return lost; }));
    EXPECT_TRUE(connection_->lost());
    // After the loss every call does nothing, and tearing down is safe.
    EXPECT_FALSE(owner.own({{"UTF8_STRING", "again"}}));
    SelectionReader reader(*connection_);
    EXPECT_EQ(readTarget(reader, "UTF8_STRING").status, ReadStatus::Lost);
}

}  // namespace
