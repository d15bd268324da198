// The quillet program finds the resident program through the data folder's lock file, without
// a display, and runs its command there; with nobody holding the folder, on the files under the
// folder's lock; with a holder that does not answer, nowhere.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <future>

#include "app/data_folder_lock.h"

#include "model/block_items.h"
#include "model/data_object.h"
#include "tests/app/control_fixture.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out, err;
};

class Forwarding : public testsupport::ControlServerTest {
protected:
    // The fixture's server plays the resident program that holds the data folder.
    void SetUp() override {
        ControlServerTest::SetUp();
        folderLock = app::lockDataFolder(data);
        ASSERT_TRUE(folderLock);
        ASSERT_TRUE(app::announceResident(*folderLock, socket));
    }

    static std::string quote(const std::string& word) {
        std::string q = "'";
        for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    }

    // The program in `cwd`, for this fixture's display, with `input` on its standard input.
    Result quillet(const std::vector<std::string>& words, const std::string& input = "",
                   const fs::path& cwd = "/", const std::string& environment = "") {
        std::string command = "cd " + quote(cwd.string()) + " && printf %s " + quote(input) +
                              " | env -u QUILLET_NO_DAEMON -u DISPLAY XDG_RUNTIME_DIR=" + quote(folder.string()) +
                              " " + environment + " " + quote(QUILLET_BINARY);
        for (const auto& w : words) command += " " + quote(w);
        command += " 2>" + quote((folder / "stderr").string());
        FILE* pipe = ::popen(command.c_str(), "r");
        Result r{-1, {}, {}};
        std::array<char, 4096> buffer;
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
        const int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = contents(folder / "stderr");
        return r;
    }
    Result atData(std::vector<std::string> words, const std::string& input = "",
                  const fs::path& cwd = "/") {
        words.insert(words.begin(), {"--data-dir", data.string()});
        return quillet(words, input, cwd);
    }

    std::vector<std::string> liveTexts() {
        return onServer([this] {
            std::vector<std::string> texts;
            for (const auto& r : store->history().at(0)->records()) texts.push_back(r->textUtf8());
            return texts;
        });
    }
    size_t requestCount() {
        return onServer([this] { return requests.size(); });
    }

    std::unique_ptr<app::InstanceLock> folderLock;
};

TEST_F(Forwarding, ACommandOfTheProgramRunsInTheDaemon) {
    startServer();
    const auto added = atData({"add", "--text", "hi"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(liveTexts(), std::vector<std::string>{"hi"});
    EXPECT_FALSE(fs::exists(data / "quillet_history"));  // the program wrote nothing itself

    // Relative names are the caller's, and so is standard input.
    fs::create_directory(folder / "caller");
    write(folder / "caller" / "t.csv", "a,b\r\n");
    ASSERT_EQ(atData({"add", "--text-file", "-", "--csv", "t.csv"}, "typed", folder / "caller").status, 0);
    EXPECT_EQ(liveTexts(), (std::vector<std::string>{"typed", "hi"}));
    const std::string csv = onServer([this] {
        const cb::RecordList& main = *store->history().at(0);
        const auto items = main.at(0)->rebuildItems(&main);
        return std::string(dynamic_cast<const cb::SimpleItem&>(*items->items().at(1)).block().data(), 5);
    });
    EXPECT_EQ(csv, "a,b\r\n");

    // Status, output and errors come back as the daemon's command gave them.
    const auto listed = atData({"records", "Main"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("\ttyped\n"), std::string::npos) << listed.out;
    EXPECT_EQ(atData({"copy", "Main", "1"}).status, 0);
    EXPECT_EQ(onServer([this] { return daemon.calls; }), "copy hi;");
    const auto missing = atData({"--json", "records", "Nope"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "quillet: There is no record list \"Nope\".\n");
    EXPECT_TRUE(onServer([this] { return requests.back().json; }));
    EXPECT_FALSE(fs::exists(data / "quillet_history"));
}

TEST_F(Forwarding, AnotherDataFolderRunsOnItsOwnFiles) {
    startServer();
    const fs::path other = folder / "other";
    const auto added = quillet({"--data-dir", other.string(), "add", "--text", "local"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_TRUE(fs::exists(other / "quillet_history"));
    EXPECT_TRUE(liveTexts().empty());
    EXPECT_EQ(requestCount(), 0u);  // never asked: nobody held that folder
    // Run on the files, a command that needs the daemon has none.
    const auto copied = quillet({"--data-dir", other.string(), "copy", "Main", "0"});
    EXPECT_EQ(copied.status, 1);
    EXPECT_EQ(copied.err, "quillet: No quillet daemon is running; start one with \"quillet daemon\".\n");
}

TEST_F(Forwarding, HelpVersionAndTheVariableStayInTheProgram) {
    startServer();
    EXPECT_EQ(atData({"--version"}).out, "quillet 4.0.803\n");
    EXPECT_EQ(atData({"--help"}).status, 0);
    EXPECT_EQ(atData({"--frobnicate"}).status, 2);
    EXPECT_EQ(requestCount(), 0u);
    // Kept away from the program that holds the folder, the command would be lost at its next
    // save: it fails instead.
    const auto local = quillet({"--data-dir", data.string(), "add", "--text", "x"}, "", "/",
                               "QUILLET_NO_DAEMON=1");
    EXPECT_EQ(local.status, 1);
    EXPECT_NE(local.err.find("nothing was changed"), std::string::npos) << local.err;
    EXPECT_FALSE(fs::exists(data / "quillet_history"));
    EXPECT_EQ(requestCount(), 0u);
    EXPECT_TRUE(liveTexts().empty());
}

TEST_F(Forwarding, AHolderThatDoesNotAnswerFailsTheCommandAndNothingIsWritten) {
    // The folder is held and names its socket, but nobody listens there (a program hung, or
    // started on another machine sharing the folder).
    const auto added = atData({"add", "--text", "lost?"});
    EXPECT_EQ(added.status, 1);
    EXPECT_EQ(added.out, "");
    EXPECT_NE(added.err.find("does not answer"), std::string::npos) << added.err;
    EXPECT_FALSE(fs::exists(data / "quillet_history"));
}

TEST_F(Forwarding, ACommandWaitsForTheCommandThatHoldsTheFolder) {
    folderLock.reset();
    // Another command's load-change-save: it holds the lock and names no socket.
    folderLock = app::lockDataFolder(data);
    ASSERT_TRUE(folderLock);
    auto added = std::async(std::launch::async, [this] { return atData({"add", "--text", "second"}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(added.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);  // still waiting
    folderLock.reset();
    const Result result = added.get();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(atData({"records", "Main"}).out.find("\tsecond\n"), std::string::npos);
}

TEST_F(Forwarding, WithoutADaemonTheFilesAreUsed) {
    // What a program that died leaves: a lock file naming its socket, nobody holding it, and a
    // socket file that nobody listens on.
    folderLock.reset();
    { asio::local::stream_protocol::acceptor dead(io, asio::local::stream_protocol::endpoint(socket.string())); }
    ASSERT_TRUE(fs::exists(socket));
    const auto added = atData({"add", "--text-file", "-"}, "piped");
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_NE(atData({"records", "Main"}).out.find("\tpiped\n"), std::string::npos);
    const auto paused = atData({"pause"});
    EXPECT_EQ(paused.status, 1);
    EXPECT_EQ(paused.err, "quillet: No quillet daemon is running; start one with \"quillet daemon\".\n");
}

}  // namespace
