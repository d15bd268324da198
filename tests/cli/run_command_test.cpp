// Commands run on a store that is not the data folder's files, as inside the daemon: the
// caller's working folder and standard input, and the commands that need the daemon.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "cli/daemon_control.h"
#include "cli/record_builder.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/record_list.h"
#include "tests/support/memory_store.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FakeDaemon : public cli::DaemonControl {
public:
    void pause() override { calls += "pause;"; }
    void start() override { calls += "start;"; }
    bool copy(cb::RecordPtr record, const cb::RecordList* list) override {
        calls += "copy " + record->textUtf8() + " from " + list->nameUtf8() + ";";
        return succeed;
    }
    bool paste(cb::RecordPtr record, const cb::RecordList* list, bool plain) override {
        calls += "paste " + record->textUtf8() + " from " + list->nameUtf8() +
                 (plain ? " plain;" : ";");
        return succeed;
    }
    std::string calls;
    bool succeed = true;
};

struct Outcome {
    int status;
    std::string out, err;
};

class RunCommand : public testsupport::TempFolderTest {
protected:
    Outcome run(cli::Request request, cli::DaemonControl* daemon) {
        std::ostringstream out, err;
        const int status = cli::runCommand(request, out, err, store, daemon);
        return {status, out.str(), err.str()};
    }
    // As the daemon runs a forwarded command: the caller's folder, the caller's input.
    Outcome forwarded(std::vector<std::string> words, std::string input = "") {
        return run({std::move(words), false, folder, std::move(input)}, &daemon);
    }
    std::vector<std::string> texts(const char* list) {
        std::vector<std::string> result;
        for (const auto& r : store.history().findListByName(platform::utf8ToUtf16(list))->records())
            result.push_back(r->textUtf8());
        return result;
    }
    const cb::SimpleItem& item(size_t index, size_t itemIndex) {
        const cb::RecordList& main = *store.history().at(0);
        items_ = main.at(index)->rebuildItems(&main);
        return dynamic_cast<const cb::SimpleItem&>(*items_->items().at(itemIndex));
    }

    testsupport::MemoryStore store;
    FakeDaemon daemon;
    std::unique_ptr<cb::DataObject> items_;
};

TEST_F(RunCommand, RelativeNamesAreTheCallersAndDashIsTheCallersInput) {
    write(folder / "t.csv", "a,b\r\n");
    ASSERT_NE(fs::current_path(), folder);
    const auto added =
        forwarded({"add", "--text-file", "-", "--csv", "t.csv", "--files", "x.txt"}, "caller's text");
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(texts("Main"), std::vector<std::string>{"caller's text"});
    EXPECT_EQ(store.historySaves, 1);
    // The items in the order named after the text: the CSV file's bytes, the absolute file name
    // (DROPFILES with wide names after its 20 bytes).
    EXPECT_EQ(item(0, 1).block(), cmn::mblock<char>(std::string("a,b\r\n")));
    std::string wide;
    for (char c : (folder / "x.txt").string()) wide += std::string{c, '\0'};
    const auto& files = item(0, 2).block();
    EXPECT_EQ(std::string(files.data() + 20, files.size() - 20), wide + std::string(4, '\0'));

    ASSERT_EQ(forwarded({"save-list", "Main", "saved.qlt"}).status, 0);
    EXPECT_TRUE(fs::exists(folder / "saved.qlt"));
    ASSERT_EQ(forwarded({"load-list", "Main", "saved.qlt"}).status, 0);
    EXPECT_EQ(texts("Main").size(), 2u);
    fs::create_directory(folder / "clips");
    ASSERT_EQ(forwarded({"export", "Main", "clips"}).status, 0);
    EXPECT_TRUE(fs::exists(folder / "clips" / "clip_ 0.txt"));

    // Errors name the file as the caller wrote it.
    const auto missing = forwarded({"add", "--html", "absent.html"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "quillet: The file \"absent.html\" cannot be read.\n");
}

TEST_F(RunCommand, CommandsThatNeedTheDaemonFailWithoutOne) {
    ASSERT_EQ(run({{"add", "--text", "one"}, false, {}, std::nullopt}, nullptr).status, 0);
    const std::vector<std::string> cases[] = {
        {"copy", "Main", "0"}, {"paste", "Main", "0"}, {"paste", "Main", "0", "--plain"},
        {"pause"}, {"start"}};
    for (const auto& words : cases) {
        const auto r = run({words, false, {}, std::nullopt}, nullptr);
        EXPECT_EQ(r.status, 1) << words[0];
        EXPECT_EQ(r.err, "quillet: No quillet daemon is running; start one with \"quillet daemon\".\n");
    }
    // A command line that is wrong stays a usage error.
    EXPECT_EQ(run({{"copy", "Main"}, false, {}, std::nullopt}, nullptr).status, 2);
    EXPECT_EQ(run({{"pause", "now"}, false, {}, std::nullopt}, nullptr).status, 2);
    EXPECT_EQ(store.configSaves, 0);
}

TEST_F(RunCommand, CopyAndPasteGoToTheDaemonAndMoveThePickToTheFront) {
    for (const char* text : {"old", "middle", "new"}) ASSERT_EQ(forwarded({"add", "--text", text}).status, 0);
    ASSERT_EQ(forwarded({"new-list", "Fixed"}).status, 0);
    ASSERT_EQ(forwarded({"add", "--list", "Fixed", "--text", "a"}).status, 0);
    ASSERT_EQ(forwarded({"add", "--list", "Fixed", "--text", "b"}).status, 0);

    EXPECT_EQ(forwarded({"copy", "Main", "2"}).status, 0);
    EXPECT_EQ(texts("Main"), (std::vector<std::string>{"old", "new", "middle"}));  // Main moves to front
    EXPECT_EQ(forwarded({"paste", "Fixed", "1", "--plain"}).status, 0);
    EXPECT_EQ(texts("Fixed"), (std::vector<std::string>{"b", "a"}));  // a new list does not
    EXPECT_EQ(forwarded({"paste", "Main", "0"}).status, 0);
    EXPECT_EQ(daemon.calls, "copy old from Main;paste a from Fixed plain;paste old from Main;");

    daemon.succeed = false;
    const auto failed = forwarded({"copy", "Main", "1"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "quillet: The record cannot be put on the clipboard.\n");
    EXPECT_EQ(texts("Main"), (std::vector<std::string>{"old", "new", "middle"}));
    EXPECT_EQ(forwarded({"paste", "Main", "1"}).err, "quillet: The record cannot be pasted.\n");
}

TEST_F(RunCommand, TheStoreIsToldOfEveryConfigurationChange) {
    ASSERT_EQ(forwarded({"pause"}).status, 0);
    ASSERT_EQ(forwarded({"start"}).status, 0);
    EXPECT_EQ(daemon.calls, "pause;start;");
    EXPECT_EQ(store.configSaves, 2);
    ASSERT_EQ(forwarded({"config", "set", "17", "1"}).status, 0);
    ASSERT_EQ(forwarded({"trust", "add", "laptop", "", "Main"}).status, 0);
    EXPECT_EQ(store.configSaves, 4);
    ASSERT_EQ(forwarded({"config", "get", "17"}).out, "1\n");
    EXPECT_EQ(store.configSaves, 4);
}

TEST_F(RunCommand, TheDaemonDoesNotRunAReceiverOfItsOwn) {
    const auto on = [&] { store.config().options().setText(17, "1"); };
    EXPECT_EQ(forwarded({"receive"}).err,
              "quillet: The quillet daemon keeps the history; let it receive records with "
              "\"quillet config set 17 1\".\n");
    on();
    const auto r = forwarded({"receive", "--count", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillet: The quillet daemon already receives records (option 17 is on).\n");
}

TEST(ReadsStandardInput, OnlyAnItemFileNamedDash) {
    const struct {
        std::vector<std::string> words;
        bool reads;
    } cases[] = {
        {{"add", "--text-file", "-"}, true},
        {{"add", "--text", "x", "--csv", "-"}, true},
        {{"add", "--html", "-"}, true},
        {{"add", "--text", "-"}, false},
        {{"add", "--text-file", "file"}, false},
        {{"add", "--text-file"}, false},
        {{"records", "--text-file", "-"}, false},
        {{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::readsStandardInput(c.words), c.reads) << testing::PrintToString(c.words);
}

}  // namespace
