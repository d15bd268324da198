// `quillet daemon` on a real X server (Xvfb and openbox of the test's own) with real other
// programs copying and pasting (xclip): what they copy lands in the history on disk, records go
// back on the clipboard with `quillet copy`, a copy outlives the program it came from, and
// there is one daemon per display. Skipped where Xvfb or xclip is not installed.

#include <gtest/gtest.h>

#include <asio.hpp>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/history.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "persist/files/data_folder.h"
#include "persist/files/history_file.h"
#include "platform/clipboard_conversions.h"
#include "platform/x11/connection.h"
#include "platform/x11/poll_loop.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/selection_reader.h"
#include "platform/x11/window_process.h"
#include "tests/x11/sample_pictures.h"
#include "tests/x11/x11_test_support.h"

#include <X11/Xlib.h>  // last: its macros (None, Status) would reach the headers above

namespace {

using namespace std::chrono_literals;
using x11test::ChildProcess;
namespace fs = std::filesystem;

constexpr auto kLimit = 15s;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = kLimit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class Daemon : public ::testing::Test {
protected:
    void SetUp() override {
        if (x11test::findProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
        if (x11test::findProgram("xclip").empty()) GTEST_SKIP() << "xclip is not installed";
        std::string error;
        xvfb_ = x11test::Xvfb::start(&error);
        ASSERT_TRUE(xvfb_) << error;
        if (!x11test::findProgram("openbox").empty()) {
            windowManager_ = x11test::startWindowManager(xvfb_->display(), &error);
            ASSERT_TRUE(windowManager_) << error;
        }
        data_ = fs::path(dir_.path()) / "data";
        runtime_ = fs::path(dir_.path()) / "runtime";
        fs::create_directories(data_);
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ::unsetenv("QUILLET_NO_DAEMON");
        daemon_ = startDaemon("daemon.out");
        ASSERT_TRUE(daemon_);
        ASSERT_TRUE(waitFor([&] { return x11test::TempDir::read(dir_.path() + "/daemon.out").find("recording") != std::string::npos; }))
            << "the daemon did not start: " << x11test::TempDir::read(dir_.path() + "/daemon.out");
    }

    void TearDown() override {
        programs_.clear();
        daemon_.reset();
        windowManager_.reset();
        xvfb_.reset();  // ends whatever still serves the clipboard on it
    }

    std::unique_ptr<ChildProcess> startDaemon(const std::string& output) {
        return ChildProcess::spawn({QUILLET_BINARY, "--data-dir", data_.string(), "daemon"}, xvfb_->display(), {},
                                   dir_.path() + "/" + output);
    }

    // A command line run while the daemon runs: its status, and what it printed.
    std::pair<int, std::string> quillet(const std::vector<std::string>& words) {
        const std::string out = dir_.path() + "/cmd" + std::to_string(++outputs_);
        std::vector<std::string> argv{QUILLET_BINARY, "--data-dir", data_.string()};
        argv.insert(argv.end(), words.begin(), words.end());
        auto p = ChildProcess::spawn(argv, xvfb_->display(), {}, out);
        if (!p || !waitFor([&] { return p->exited(); })) return {-1, {}};
        return {p->exitCode(), x11test::TempDir::read(out)};
    }

    // A program that copies `bytes` from its standard input and serves them until it loses the
    // clipboard.
    ChildProcess& copyWith(const std::vector<std::string>& argv, const std::string& bytes) {
        const std::string input = dir_.write("in" + std::to_string(programs_.size()), bytes);
        auto p = ChildProcess::spawn(argv, xvfb_->display(), input, {});
        EXPECT_TRUE(p);
        programs_.push_back(std::move(p));
        return *programs_.back();
    }

    ChildProcess& copyWithXclip(const std::string& target, const std::string& bytes) {
        return copyWith({"xclip", "-selection", "clipboard", "-t", target, "-i", "-quiet"}, bytes);
    }

    std::optional<std::string> pasteWithXclip(const std::string& target) {
        const std::string out = dir_.path() + "/paste" + std::to_string(++outputs_);
        auto p = ChildProcess::spawn({"xclip", "-selection", "clipboard", "-o", "-t", target}, xvfb_->display(), {},
                                     out);
        if (!p || !waitFor([&] { return p->exited(); }) || p->exitCode() != 0) return std::nullopt;
        return x11test::TempDir::read(out);
    }

    // The same without DISPLAY, as from ssh, cron or a service: the data folder leads to the
    // daemon.
    std::pair<int, std::string> quilletWithoutDisplay(const std::vector<std::string>& words) {
        const std::string out = dir_.path() + "/cmd" + std::to_string(++outputs_);
        std::vector<std::string> argv{QUILLET_BINARY, "--data-dir", data_.string()};
        argv.insert(argv.end(), words.begin(), words.end());
        auto p = ChildProcess::spawn(argv, "", {}, out);
        if (!p || !waitFor([&] { return p->exited(); })) return {-1, {}};
        return {p->exitCode(), x11test::TempDir::read(out)};
    }

    // Ends the daemon as the session would (SIGTERM) and waits for it, however long its last
    // save takes.
    bool endDaemon() {
        ::kill(daemon_->pid(), SIGTERM);
        return waitFor([&] { return daemon_->exited(); }, 60s) && daemon_->exitCode() == 0;
    }

    // The daemon again, on a history of `lists` lists of `records` records of about 1.4 KB.
    void restartWithLargeHistory(size_t lists, int records) {
        ASSERT_TRUE(endDaemon());
        cb::History history;
        while (history.count() < lists) history.insertList(new cb::RecordList(u"Large"), history.count());
        history.setListeningList(history.at(0));
        for (size_t l = 0; l < history.count(); ++l) {
            history.at(l)->setMaxCount(static_cast<uint32_t>(records));
            for (int i = 0; i < records; ++i) {
                cb::RecordPtr r(new cb::Record());
                r->setTextUtf8(std::string(600, static_cast<char>('a' + i % 26)));
                r->setPayload(cmn::mblock<char>(std::string(800, static_cast<char>(i))));
                history.at(l)->add(r);
            }
        }
        ASSERT_TRUE(persist::saveHistory(history, data_ / persist::kHistoryFileName));
        daemon_ = startDaemon("large.out");
        ASSERT_TRUE(daemon_);
        ASSERT_TRUE(waitFor([&] { return x11test::TempDir::read(dir_.path() + "/large.out").find("recording") != std::string::npos; }, 60s));
    }

    // A save is being written: its temporary file stands beside the history.
    bool saving() const {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(data_, ec))
            if (entry.path().filename().string().starts_with(persist::kHistoryFileName + std::string(".tmp")))
                return true;
        return false;
    }

    // The history as the daemon last saved it.
    std::unique_ptr<cb::History> savedHistory() {
        auto history = std::make_unique<cb::History>();
        persist::loadHistoryAtStart(*history, data_ / persist::kHistoryFileName);
        return history;
    }

    size_t savedCount() {
        auto h = savedHistory();
        return h->listeningList() ? h->listeningList()->count() : 0;
    }

    // Waits until the saved history's listening list holds n records; its items of the newest.
    std::unique_ptr<cb::DataObject> waitForSavedRecords(size_t n, std::chrono::milliseconds limit = kLimit) {
        std::unique_ptr<cb::History> h;
        if (!waitFor(
                [&] {
                    h = savedHistory();
                    return h->listeningList() && h->listeningList()->count() >= n;
                },
                limit))
            return nullptr;
        return h->listeningList()->records()[0]->rebuildItems(nullptr);
    }

    // A window of another program that logs its keys and pastes on its chord.
    std::unique_ptr<x11test::PasteTarget> startTarget(const std::string& wmClass,
                                                      const std::vector<std::string>& extra = {}) {
        std::string error;
        auto t = x11test::PasteTarget::start(QUILLET_PASTE_TARGET, xvfb_->display(), dir_.path(), wmClass, "normal",
                                             &error, extra);
        EXPECT_TRUE(t) << error;
        return t;
    }
    // A window standing for one of the daemon's own (its _NET_WM_PID is the daemon's).
    std::unique_ptr<x11test::PasteTarget> startOurWindow() {
        return startTarget("QuilletPopup", {"--pid", std::to_string(daemon_->pid())});
    }
    bool activate(const x11test::PasteTarget& t) {
        return x11test::runProgram({"xdotool", "windowactivate", "--sync", std::to_string(t.window())},
                                   xvfb_->display()) == 0;
    }

    x11test::TempDir dir_;
    std::unique_ptr<x11test::Xvfb> xvfb_;
    std::unique_ptr<ChildProcess> windowManager_;
    fs::path data_, runtime_;
    std::unique_ptr<ChildProcess> daemon_;
    std::vector<std::unique_ptr<ChildProcess>> programs_;
    int outputs_ = 0;
};

std::string blockText(const cb::SimpleItem& item) { return std::string(item.block().data(), item.block().size()); }

TEST_F(Daemon, WhatProgramsCopyIsOnDiskWithTheRightItems) {
    if (!x11test::findProgram("xsel").empty()) {
        copyWith({"xsel", "--clipboard", "--input", "--nodetach"}, "from xsel");
        auto fromXsel = waitForSavedRecords(1);
        ASSERT_TRUE(fromXsel && fromXsel->findFirst<cb::TextItem>())
            << "saved records: " << savedCount() << "; the clipboard holds: "
            << pasteWithXclip("UTF8_STRING").value_or("(nothing)")
            << "; the daemon said: " << x11test::TempDir::read(dir_.path() + "/daemon.out");
        EXPECT_EQ(fromXsel->findFirst<cb::TextItem>()->text(), u"from xsel");
    }
    const size_t before = savedCount();
    copyWithXclip("UTF8_STRING", "plain text");
    auto text = waitForSavedRecords(before + 1);
    ASSERT_TRUE(text);
    ASSERT_NE(text->findFirst<cb::TextItem>(), nullptr);
    EXPECT_EQ(text->findFirst<cb::TextItem>()->text(), u"plain text");

    copyWithXclip("text/html", "<p>para</p>");
    auto html = waitForSavedRecords(before + 2);
    ASSERT_TRUE(html && html->findFirst<cb::HtmlItem>());
    const std::string header = blockText(*html->findFirst<cb::HtmlItem>());
    EXPECT_EQ(header.rfind("Version:", 0), 0u) << header;
    EXPECT_NE(header.find("<!--StartFragment--><p>para</p><!--EndFragment-->"), std::string::npos) << header;

    // Pictures are recorded once switched on; the setting goes to the running daemon.
    ASSERT_EQ(quillet({"config", "set", "1005", "1"}).first, 0);
    copyWithXclip("image/png", x11test::kRgbPng);
    auto picture = waitForSavedRecords(before + 3);
    ASSERT_TRUE(picture && picture->findFirst<cb::BitmapItem>());
    EXPECT_EQ(std::string(picture->findFirst<cb::BitmapItem>()->png().data(), 4), "\x89PNG");

    // A file manager's copy of files it will move: the list and the effect.
    platform::x11::PollLoop loop;
    auto other = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(other);
    loop.watch(other->fd(), [&] { other->processPendingEvents(); });
    platform::x11::SelectionOwner files(*other, "CLIPBOARD");
    ASSERT_TRUE(files.own({{"x-special/gnome-copied-files", "cut\nfile:///tmp/a%20b.txt"},
                           {"text/uri-list", "file:///tmp/a%20b.txt\r\n"}}));
    std::unique_ptr<cb::DataObject> moved;
    loop.runUntil([&] { return (moved = waitForSavedRecords(before + 4, 0ms)) != nullptr; }, kLimit, 100ms);
    ASSERT_TRUE(moved);
    ASSERT_TRUE(moved->findFirst<cb::FilesItem>());
    EXPECT_EQ(platform::dropFilesNames(blockText(*moved->findFirst<cb::FilesItem>())),
              std::vector<std::string>{"/tmp/a b.txt"});
    ASSERT_TRUE(moved->findFirst<cb::PreferredDropEffect>());
    EXPECT_EQ(platform::readDropEffect(blockText(*moved->findFirst<cb::PreferredDropEffect>())),
              platform::kDropEffectMove);
    loop.unwatch(other->fd());
}

TEST_F(Daemon, CopiesTwiceOnceAndLeavesSecretsAlone) {
    copyWithXclip("UTF8_STRING", "again");
    ASSERT_TRUE(waitForSavedRecords(1));
    copyWithXclip("UTF8_STRING", "again");
    // A password manager's copy, then an ordinary one that shows both were seen.
    platform::x11::PollLoop loop;
    auto other = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(other);
    loop.watch(other->fd(), [&] { other->processPendingEvents(); });
    platform::x11::SelectionOwner secret(*other, "CLIPBOARD");
    ASSERT_TRUE(secret.own({{"x-kde-passwordManagerHint", "secret"}, {"UTF8_STRING", "hunter2"}}));
    loop.runUntil([] { return false; }, 1500ms);
    secret.disown();
    other->flush();
    copyWithXclip("UTF8_STRING", "after");
    auto newest = waitForSavedRecords(2);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->findFirst<cb::TextItem>()->text(), u"after");
    EXPECT_EQ(savedCount(), 2u);
    loop.unwatch(other->fd());
}

TEST_F(Daemon, CopyPutsTheStoredRecordBackAndIsNotCapturedAgain) {
    ASSERT_EQ(quillet({"config", "set", "1005", "1"}).first, 0);
    copyWithXclip("text/html", "<b>stored</b>");
    ASSERT_TRUE(waitForSavedRecords(1));
    copyWithXclip("image/png", x11test::kRgbPng);
    ASSERT_TRUE(waitForSavedRecords(2));
    copyWithXclip("UTF8_STRING", "last");
    ASSERT_TRUE(waitForSavedRecords(3));

    ASSERT_EQ(quillet({"copy", "0", "2"}).first, 0);
    const std::optional<std::string> targets = pasteWithXclip("TARGETS");
    ASSERT_TRUE(targets);
    EXPECT_NE(targets->find("text/html"), std::string::npos) << *targets;
    // The markup as stored, without the Windows header.
    const std::optional<std::string> markup = pasteWithXclip("text/html");
    ASSERT_TRUE(markup);
    EXPECT_EQ(markup->find("Version:"), std::string::npos) << *markup;
    EXPECT_NE(markup->find("<!--StartFragment--><b>stored</b><!--EndFragment-->"), std::string::npos) << *markup;

    // The list moves what is picked to its front: the picture is last now.
    ASSERT_EQ(quillet({"copy", "0", "2"}).first, 0);
    const std::optional<std::string> png = pasteWithXclip("image/png");
    ASSERT_TRUE(png);
    // The same picture: the pixels as stored, whatever the PNG encoder's choices.
    EXPECT_EQ(platform::imageToDib("image/png", *png), platform::imageToDib("image/png", x11test::kRgbPng));

    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(savedCount(), 3u);
}

TEST_F(Daemon, ACopyOutlivesTheProgramItCameFrom) {
    ChildProcess& xclip = copyWithXclip("UTF8_STRING", "still here");
    ASSERT_TRUE(waitForSavedRecords(1));
    xclip.stop();
    std::optional<std::string> text;
    EXPECT_TRUE(waitFor([&] { return (text = pasteWithXclip("UTF8_STRING")) && *text == "still here"; }))
        << text.value_or("(nothing)");
}

TEST_F(Daemon, ASecondDaemonLeavesTheFirstRunning) {
    auto second = startDaemon("second.out");
    ASSERT_TRUE(second);
    ASSERT_TRUE(waitFor([&] { return second->exited(); }));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_FALSE(daemon_->exited());
    copyWithXclip("UTF8_STRING", "first still records");
    EXPECT_TRUE(waitForSavedRecords(1));
}

TEST_F(Daemon, ACommandWithoutADisplayReachesTheDaemonAndNothingIsLost) {
    const auto added = quilletWithoutDisplay({"add", "--text", "from a service"});
    EXPECT_EQ(added.first, 0) << added.second;
    copyWithXclip("UTF8_STRING", "captured");
    ASSERT_TRUE(waitForSavedRecords(2));

    // A daemon that holds the folder but cannot be reached (its socket was removed, say by a
    // cleaner of the runtime folder): the command fails and writes nothing.
    const std::string lockText = x11test::TempDir::read((data_ / "quillet.lock").string());
    const fs::path socket = lockText.substr(lockText.find('\n') + 1, lockText.size() - lockText.find('\n') - 2);
    ASSERT_TRUE(fs::exists(socket)) << lockText;
    fs::rename(socket, socket.string() + ".away");
    const auto refused = quilletWithoutDisplay({"add", "--text", "while it hangs"});
    fs::rename(socket.string() + ".away", socket);
    EXPECT_EQ(refused.first, 1);
    EXPECT_EQ(savedCount(), 2u);

    ASSERT_TRUE(endDaemon());
    const auto saved = savedHistory();
    std::vector<std::string> texts;
    for (const auto& r : saved->listeningList()->records()) texts.push_back(r->textUtf8());
    EXPECT_EQ(texts, (std::vector<std::string>{"captured", "from a service"}));
}

TEST_F(Daemon, TheClipboardIsServedWhileALargeHistoryIsSaved) {
    restartWithLargeHistory(9, 400);
    ASSERT_EQ(quillet({"add", "--text", "served"}).first, 0);
    ASSERT_EQ(quillet({"copy", "0", "0"}).first, 0);  // our content on the clipboard
    ASSERT_TRUE(waitFor([&] { return !saving(); }, 60s));

    Display* display = XOpenDisplay(xvfb_->display().c_str());
    ASSERT_TRUE(display);
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom property = XInternAtom(display, "QUILLET_TEST", False);
    // How long the owner took to answer one TARGETS request; nothing after 5 s.
    auto askTargets = [&]() -> std::optional<std::chrono::microseconds> {
        const auto start = std::chrono::steady_clock::now();
        XConvertSelection(display, clipboard, targets, property, window, CurrentTime);
        XFlush(display);
        while (std::chrono::steady_clock::now() - start < 5s) {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == SelectionNotify)
                    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                                 start);
            }
            std::this_thread::sleep_for(200us);
        }
        return std::nullopt;
    };
    ASSERT_TRUE(askTargets());

    // A command's change starts a save at once; the clipboard is asked while it is written. The
    // asking starts with the command, not when it has ended: a slow command's exit (a sanitizer's
    // leak check) can outlast the whole save.
    auto add = ChildProcess::spawn({QUILLET_BINARY, "--data-dir", data_.string(), "add", "--text", "during the save"},
                                   xvfb_->display(), {}, dir_.path() + "/add.out");
    ASSERT_TRUE(add);
    std::vector<std::chrono::microseconds> duringSave;
    const auto end = std::chrono::steady_clock::now() + 30s;
    bool started = false;
    while (std::chrono::steady_clock::now() < end) {
        const bool before = saving();
        started = started || before;
        if (started && !before) break;  // written
        const auto answered = askTargets();
        ASSERT_TRUE(answered);
        if (before && saving()) duringSave.push_back(*answered);
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    ASSERT_TRUE(waitFor([&] { return add->exited(); }));
    EXPECT_EQ(add->exitCode(), 0);
    ASSERT_FALSE(duringSave.empty()) << "no request was answered while the save ran";
    // A loop that wrote the file itself would answer none of them before the save ended. The
    // machine's own scheduling may delay a few answers of many; most come at once.
    std::sort(duringSave.begin(), duringSave.end());
    EXPECT_LT(duringSave[duringSave.size() * 9 / 10], 50ms) << duringSave.size() << " requests";
    EXPECT_LT(duringSave.back(), 1s) << duringSave.size() << " requests";
}

TEST_F(Daemon, ExitWaitsForTheSaveAndWritesTheLastState) {
    restartWithLargeHistory(9, 400);
    ASSERT_EQ(quillet({"add", "--text", "first"}).first, 0);  // a save starts
    ASSERT_EQ(quillet({"add", "--text", "last"}).first, 0);   // and one more is due after it
    ASSERT_TRUE(endDaemon());
    const auto history = savedHistory();
    ASSERT_EQ(history->count(), 9u);
    EXPECT_EQ(history->at(1)->count(), 400u);
    EXPECT_EQ(history->listeningList()->at(0)->textUtf8(), "last");
    EXPECT_EQ(history->listeningList()->at(1)->textUtf8(), "first");
    EXPECT_FALSE(saving());
}

TEST_F(Daemon, ASecondDaemonForAnotherFolderOnTheSameDisplayIsRefused) {
    const fs::path other = fs::path(dir_.path()) / "other";
    auto second = ChildProcess::spawn({QUILLET_BINARY, "--data-dir", other.string(), "daemon"}, xvfb_->display(), {},
                                      dir_.path() + "/other.out");
    ASSERT_TRUE(second);
    ASSERT_TRUE(waitFor([&] { return second->exited(); }));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_FALSE(daemon_->exited());
    EXPECT_FALSE(fs::exists(other / persist::kHistoryFileName));
}

// The words a process was started with, spaces between them; empty once it is gone (or a zombie).
std::string commandLine(pid_t pid) {
    std::string words = x11test::TempDir::read("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(words.begin(), words.end(), '\0', ' ');
    return words;
}

TEST_F(Daemon, AtExitTheHistoryIsSavedAndAFreshProcessServesOurContentUntilSomeoneCopies) {
    copyWithXclip("UTF8_STRING", "kept");
    ASSERT_TRUE(waitForSavedRecords(1));
    ASSERT_EQ(quillet({"copy", "0", "0"}).first, 0);
    programs_.clear();  // xclip has lost the clipboard to us and exited; nothing else serves it
    ::kill(daemon_->pid(), SIGTERM);
    ASSERT_TRUE(waitFor([&] { return daemon_->exited(); }));
    EXPECT_EQ(daemon_->exitCode(), 0);
    EXPECT_EQ(pasteWithXclip("UTF8_STRING"), "kept");
    EXPECT_EQ(savedCount(), 1u);

    // What serves it is our executable started afresh, with one thread, not a copy of the
    // daemon's process holding the locks of the daemon's other threads.
    platform::x11::PollLoop loop;
    auto other = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(other);
    const pid_t server = platform::x11::windowProcessId(*other, other->selectionOwner("CLIPBOARD"));
    ASSERT_GT(server, 0);
    EXPECT_NE(server, daemon_->pid());
    EXPECT_EQ(commandLine(server).rfind(fs::canonical(QUILLET_BINARY).string() + " __serve-clipboard x11 ", 0), 0u)
        << commandLine(server);
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/" + std::to_string(server) + "/task"), {}), 1);

    // Another program's copy ends it.
    copyWithXclip("UTF8_STRING", "newer");
    EXPECT_TRUE(waitFor([&] { return commandLine(server).empty(); })) << commandLine(server);
    EXPECT_EQ(pasteWithXclip("UTF8_STRING"), "newer");
}

// A clipboard manager of the freedesktop convention, played by the test: it owns
// CLIPBOARD_MANAGER and, asked to convert it to SAVE_TARGETS, reads the text from the
// clipboard's owner, serves it itself and then answers. The daemon waits for it at exit and
// leaves the content to it.
TEST_F(Daemon, AtExitARunningClipboardManagerTakesOverOurContent) {
    copyWithXclip("UTF8_STRING", "handed over");
    ASSERT_TRUE(waitForSavedRecords(1));
    ASSERT_EQ(quillet({"copy", "0", "0"}).first, 0);
    programs_.clear();

    platform::x11::PollLoop loop;
    auto manager = platform::x11::Connection::open(loop, xvfb_->display().c_str());
    ASSERT_TRUE(manager);
    loop.watch(manager->fd(), [&] { manager->processPendingEvents(); });
    Display* d = manager->display();
    const platform::x11::XAtom managerAtom = manager->atom("CLIPBOARD_MANAGER");
    const platform::x11::XAtom saveTargets = manager->atom("SAVE_TARGETS");
    const platform::x11::XId managerWindow = manager->createWindow();
    XSetSelectionOwner(d, managerAtom, managerWindow, CurrentTime);
    manager->flush();
    platform::x11::SelectionReader reader(*manager);
    platform::x11::SelectionOwner keeper(*manager, "CLIPBOARD");
    std::string saved;
    bool answered = false;
    const auto handler = manager->addEventHandler([&](const XEvent& e) {
        if (e.type != SelectionRequest || e.xselectionrequest.selection != managerAtom ||
            e.xselectionrequest.target != saveTargets)
            return;
        const XSelectionRequestEvent request = e.xselectionrequest;
        reader.readTarget("UTF8_STRING", [&, request](platform::x11::ReadResult read) {
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.time = request.time;
            reply.xselection.property = None;
            if (read.status == platform::x11::ReadStatus::Ok && keeper.own({{"UTF8_STRING", read.data}})) {
                saved = read.data;
                reply.xselection.property = request.property;
            }
            XSendEvent(d, request.requestor, False, NoEventMask, &reply);
            manager->flush();
            answered = true;
        });
    });

    ::kill(daemon_->pid(), SIGTERM);
    loop.runUntil([&] { return answered && daemon_->exited(); }, kLimit, 20ms);
    EXPECT_TRUE(answered);
    ASSERT_TRUE(daemon_->exited());
    EXPECT_EQ(daemon_->exitCode(), 0);
    EXPECT_EQ(saved, "handed over");
    // Nobody takes the clipboard from the manager afterwards: no child of the daemon serves it.
    loop.runUntil([] { return false; }, 1000ms, 20ms);
    EXPECT_TRUE(keeper.owns());
    EXPECT_EQ(manager->selectionOwner("CLIPBOARD"), keeper.window());
    manager->removeEventHandler(handler);
    loop.unwatch(manager->fd());
}

TEST_F(Daemon, PauseAndStartSwitchRecording) {
    ASSERT_EQ(quillet({"pause"}).first, 0);
    copyWithXclip("UTF8_STRING", "while paused");
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(quillet({"start"}).first, 0);
    copyWithXclip("UTF8_STRING", "recorded");
    auto newest = waitForSavedRecords(1);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->findFirst<cb::TextItem>()->text(), u"recorded");
    EXPECT_EQ(savedCount(), 1u);
}

TEST_F(Daemon, WhenTheDisplayGoesAwayTheHistoryIsSavedAndTheDaemonEnds) {
    // The display ends as soon as the daemon holds the record, before the save that follows a
    // change is due.
    copyWithXclip("UTF8_STRING", "before the display ended");
    ASSERT_TRUE(waitFor([&] { return quillet({"records", "0"}).second.find("before the display ended") != std::string::npos; }));
    programs_.clear();
    xvfb_->kill();
    ASSERT_TRUE(waitFor([&] { return daemon_->exited(); }));
    EXPECT_EQ(daemon_->exitCode(), 0);
    EXPECT_EQ(savedCount(), 1u);
}

TEST_F(Daemon, ReceivesFromOtherComputersWhileReceivingIsOn) {
    // A port nobody uses now.
    asio::io_context io;
    asio::ip::tcp::acceptor probe(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    const std::string port = std::to_string(probe.local_endpoint().port());
    probe.close();
    ASSERT_EQ(quillet({"trust", "add", "127.0.0.1", "", "Main"}).first, 0);
    ASSERT_EQ(quillet({"config", "set", "22", port}).first, 0);
    ASSERT_EQ(quillet({"config", "set", "17", "1"}).first, 0);

    // Another computer's copy of the program: a data folder of its own, not the daemon's.
    const std::string other = (fs::path(dir_.path()) / "other").string();
    auto run = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {QUILLET_BINARY, "--data-dir", other});
        auto p = ChildProcess::spawn(words, xvfb_->display());
        return p && waitFor([&] { return p->exited(); }) ? p->exitCode() : -1;
    };
    ASSERT_EQ(run({"add", "--text", "from afar"}), 0);
    ASSERT_EQ(run({"send", "127.0.0.1:" + port, "--record", "Main", "0"}), 0);
    auto arrived = waitForSavedRecords(1);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->findFirst<cb::TextItem>()->text(), u"from afar");
}

TEST_F(Daemon, ASendWaitingForTheOtherComputerHoldsUpNothing) {
    // A computer that takes the connection and then says nothing.
    asio::io_context io;
    asio::ip::tcp::acceptor silent(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    silent.non_blocking(true);
    const std::string host = "127.0.0.1:" + std::to_string(silent.local_endpoint().port());
    ASSERT_EQ(quillet({"add", "--text", "for the other computer"}).first, 0);

    const std::string sendOutput = dir_.path() + "/send.out";
    auto send = ChildProcess::spawn({QUILLET_BINARY, "--data-dir", data_.string(), "send", host, "--record", "0", "0"},
                                    xvfb_->display(), {}, sendOutput);
    ASSERT_TRUE(send);
    asio::ip::tcp::socket peer(io);
    ASSERT_TRUE(waitFor([&] {
        std::error_code ec;
        silent.accept(peer, ec);
        return !ec;
    }));

    // The transfer waits for an answer; the daemon serves the clipboard and the commands.
    EXPECT_EQ(quillet({"pause"}).first, 0);
    EXPECT_EQ(quillet({"start"}).first, 0);
    EXPECT_FALSE(send->exited());

    peer.close();
    ASSERT_TRUE(waitFor([&] { return send->exited(); }));
    EXPECT_EQ(send->exitCode(), 1);
    EXPECT_EQ(x11test::TempDir::read(sendOutput), "Failed\n");
}

// The key presses and releases a target saw, without the modifier states.
std::vector<std::string> keys(const x11test::PasteTarget& t) {
    std::vector<std::string> out;
    for (const std::string& line : t.keyLog()) {
        if (line.rfind("press ", 0) != 0 && line.rfind("release ", 0) != 0) continue;
        out.push_back(line.substr(0, line.rfind(' ')));
    }
    return out;
}

class DaemonPaste : public Daemon {
protected:
    void SetUp() override {
        if (x11test::findProgram("openbox").empty()) GTEST_SKIP() << "openbox is not installed";
        if (x11test::findProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        Daemon::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(quillet({"add", "--text", "typed by quillet"}).first, 0);
    }

    // The target had the focus, then one of the daemon's windows took it, as when the user
    // picks a record in our popup.
    void focusTargetThenOurs(x11test::PasteTarget& target, x11test::PasteTarget& ours) {
        ASSERT_TRUE(activate(target));
        ASSERT_TRUE(activate(ours));
    }
};

TEST_F(DaemonPaste, PasteTypesTheRecordIntoTheWindowThatHadTheFocus) {
    auto target = startTarget("Gedit");
    auto ours = startOurWindow();
    ASSERT_TRUE(target && ours);
    focusTargetThenOurs(*target, *ours);
    ASSERT_EQ(quillet({"paste", "0", "0"}).first, 0);
    EXPECT_TRUE(waitFor([&] { return target->pasted() == "typed by quillet"; })) << target->pasted();
    EXPECT_EQ(keys(*target),
              (std::vector<std::string>{"press Control_L", "press v", "release v", "release Control_L"}));
    EXPECT_TRUE(keys(*ours).empty());
}

TEST_F(DaemonPaste, WithCtrlHeldOnlyVIsTyped) {
    auto target = startTarget("Gedit");
    auto ours = startOurWindow();
    ASSERT_TRUE(target && ours);
    focusTargetThenOurs(*target, *ours);
    ASSERT_EQ(x11test::runProgram({"xdotool", "keydown", "ctrl"}, xvfb_->display()), 0);
    ASSERT_EQ(quillet({"paste", "0", "0"}).first, 0);
    EXPECT_TRUE(waitFor([&] { return target->pasted() == "typed by quillet"; })) << target->pasted();
    x11test::runProgram({"xdotool", "keyup", "ctrl"}, xvfb_->display());
    // The release of the user's own Ctrl comes after, from xdotool.
    std::vector<std::string> seen = keys(*target);
    if (!seen.empty() && seen.back() == "release Control_L") seen.pop_back();
    EXPECT_EQ(seen, (std::vector<std::string>{"press v", "release v"}));
}

TEST_F(DaemonPaste, ATerminalGetsCtrlShiftV) {
    auto target = startTarget("kitty");
    auto ours = startOurWindow();
    ASSERT_TRUE(target && ours);
    focusTargetThenOurs(*target, *ours);
    ASSERT_EQ(quillet({"paste", "0", "0"}).first, 0);
    EXPECT_TRUE(waitFor([&] { return target->pasted() == "typed by quillet"; })) << target->pasted();
    EXPECT_EQ(keys(*target), (std::vector<std::string>{"press Control_L", "press Shift_L", "press v", "release v",
                                                       "release Shift_L", "release Control_L"}));
}

TEST_F(DaemonPaste, PlainPastesTheTextAlone) {
    const std::string html = dir_.write("styled.html", "<b>styled</b>");
    ASSERT_EQ(quillet({"add", "--text", "styled", "--html", html}).first, 0);
    auto target = startTarget("Gedit");
    auto ours = startOurWindow();
    ASSERT_TRUE(target && ours);
    focusTargetThenOurs(*target, *ours);
    ASSERT_EQ(quillet({"paste", "0", "0", "--plain"}).first, 0);
    EXPECT_TRUE(waitFor([&] { return target->pasted() == "styled"; })) << target->pasted();
    const std::optional<std::string> targets = pasteWithXclip("TARGETS");
    ASSERT_TRUE(targets);
    EXPECT_EQ(targets->find("text/html"), std::string::npos) << *targets;
}

TEST_F(DaemonPaste, WhenTheTargetIsGoneTheRecordIsOnTheClipboardAndNothingIsTyped) {
    auto target = startTarget("Gedit");
    auto ours = startOurWindow();
    ASSERT_TRUE(target && ours);
    focusTargetThenOurs(*target, *ours);
    target->process().stop();
    EXPECT_EQ(quillet({"paste", "0", "0"}).first, 0);
    EXPECT_EQ(pasteWithXclip("UTF8_STRING"), "typed by quillet");
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(keys(*ours).empty());
}

}  // namespace
