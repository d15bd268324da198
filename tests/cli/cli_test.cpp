// Runs the built quillet program on a temporary data folder, as a script would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;
};

class QuilletProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillet-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        data = root / "data";
    }
    void TearDown() override { fs::remove_all(root); }

    static std::string quote(const std::string& word) {
        std::string q = "'";
        for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    }

    Result quillet(const std::vector<std::string>& words, const std::string& input = "") {
        std::string command = quote(QUILLET_BINARY) + " --data-dir " + quote(data.string());
        for (const auto& w : words) command += " " + quote(w);
        if (!input.empty()) command = "printf %s " + quote(input) + " | " + command;
        command += " 2>" + quote((root / "stderr").string());
        FILE* pipe = ::popen(command.c_str(), "r");
        Result r{-1, {}};
        std::array<char, 4096> buffer;
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
        const int status = ::pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    std::string lastError() const {
        std::ifstream in(root / "stderr");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }

    fs::path root;
    fs::path data;
};

TEST_F(QuilletProgram, AFreshDataFolderHasTheDefaultLists) {
    const auto r = quillet({"lists"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "0\tMain\t0\t100\tlistening,discard-old,move-to-front\n"
              "1\tSearch\t0\t100\tsearch,discard-old\n");
}

TEST_F(QuilletProgram, RecordsWithSeveralItemsAreListedShownAndSearched) {
    write(root / "page.html", "<b>bold</b>");
    write(root / "table.csv", "a,b\r\n");
    ASSERT_EQ(quillet({"add", "--html", (root / "page.html").string(), "--text", "Bold text",
                       "--csv", (root / "table.csv").string(), "--application", "/usr/bin/editor"})
                  .status,
              0)
        << lastError();
    ASSERT_EQ(quillet({"add", "--text-file", "-"}, "caf\xC3\xA9\nline two").status, 0);

    EXPECT_EQ(quillet({"--json", "records", "Main"}).out.substr(0, 61),
              "[{\"index\":0,\"text\":\"caf\xC3\xA9\\nline two\",\"application\":\"\",\"time\":");
    const auto shown = quillet({"--json", "show", "Main", "1"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("{\"text\":\"Bold text\",\"items\":[{\"typeId\":1004,\"type\":\"Html "
                             "Text\""),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("{\"typeId\":1001,\"type\":\"Plain Text\",\"size\":9,\"text\":\"Bold "
                             "text\"},{\"typeId\":1008,\"type\":\"Comma-Separated Values (CSV)\","
                             "\"size\":5}]}"),
              std::string::npos)
        << shown.out;
    EXPECT_EQ(shown.out.find("Quillet Tag"), std::string::npos);

    const auto found = quillet({"search", "BOLD"});
    EXPECT_EQ(found.status, 0);
    EXPECT_NE(found.out.find("\t/usr/bin/editor\tBold text\n"), std::string::npos) << found.out;
    EXPECT_EQ(quillet({"search", "--match-case", "BOLD"}).out, "");
    // The search was saved with its criteria.
    EXPECT_NE(quillet({"--json", "lists"}).out.find("\"criteria\":{\"text\":\"BOLD\",\"matchCase\":true}"),
              std::string::npos);
}

TEST_F(QuilletProgram, ListFilesAndExport) {
    ASSERT_EQ(quillet({"add", "--text", "one"}).status, 0);
    ASSERT_EQ(quillet({"add", "--text", "two"}).status, 0);
    ASSERT_EQ(quillet({"new-list", "Work", "--max", "5"}).status, 0);
    const std::string file = (root / "main.qlt").string();
    ASSERT_EQ(quillet({"save-list", "Main", file}).status, 0);
    ASSERT_EQ(quillet({"load-list", "Work", file}).status, 0);
    const auto work = quillet({"records", "Work"});
    EXPECT_NE(work.out.find("0\t"), std::string::npos);
    EXPECT_LT(work.out.find("two"), work.out.find("one"));  // the file's order

    fs::create_directories(root / "out");
    ASSERT_EQ(quillet({"export", "Work", (root / "out").string()}).status, 0);
    EXPECT_TRUE(fs::exists(root / "out" / "clip_ 0.txt"));
    EXPECT_TRUE(fs::exists(root / "out" / "clip_ 1.txt"));

    write(root / "bad.qlt", "not a list file");
    const auto bad = quillet({"load-list", "Work", (root / "bad.qlt").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(lastError(), "quillet: Error loading the clipboard record list!\n");
}

TEST_F(QuilletProgram, ErrorsAreOneSentenceAndChangeNothing) {
    ASSERT_EQ(quillet({"add", "--text", "keep me"}).status, 0);
    const auto before = quillet({"--json", "lists"}).out;
    struct Case {
        std::vector<std::string> words;
        int status;
    };
    const Case cases[] = {
        {{"records", "Nope"}, 1},
        {{"show", "Main", "7"}, 1},
        {{"delete", "Main", "x"}, 2},
        {{"remove-list", "Main"}, 1},
        {{"listen", "Search"}, 1},
        {{"rename", "Search", "Main"}, 1},
        {{"new-list", "Main"}, 1},
        {{"frobnicate"}, 2},
        {{"add"}, 2},
        {{"add", "--text-file", (root / "absent").string()}, 1},
    };
    for (const auto& c : cases) {
        const auto r = quillet(c.words);
        EXPECT_EQ(r.status, c.status) << c.words[0];
        const std::string err = lastError();
        EXPECT_EQ(err.rfind("quillet: ", 0), 0u) << err;
    }
    EXPECT_EQ(quillet({"--json", "lists"}).out, before);
}

TEST_F(QuilletProgram, AListSentToAReceiverArrivesInTheTrustedClientsList) {
    const fs::path receiverData = root / "receiver";
    auto receiver = [&](std::vector<std::string> words) {
        std::string command = quote(QUILLET_BINARY) + " --data-dir " + quote(receiverData.string());
        for (const auto& w : words) command += " " + quote(w);
        return command;
    };
    ASSERT_EQ(std::system((receiver({"new-list", "Inbox"}) + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((receiver({"trust", "add", "127.0.0.1", "", "Inbox"}) + " >/dev/null").c_str()), 0);
    ASSERT_EQ(quillet({"add", "--text", "older"}).status, 0);
    ASSERT_EQ(quillet({"add", "--text", "newer"}).status, 0);

    // The receiver ends after one object, or after 30 s whatever happens.
    FILE* running =
        ::popen(("timeout 30 " + receiver({"receive", "--port", "0", "--count", "1"})).c_str(), "r");
    ASSERT_NE(running, nullptr);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, running), nullptr);
    int port = 0;
    ASSERT_EQ(std::sscanf(line, "Listening on port %d", &port), 1) << line;

    const auto sent = quillet({"send", "127.0.0.1:" + std::to_string(port), "--list", "Main"});
    EXPECT_EQ(sent.out, "Finished\n") << lastError();
    EXPECT_EQ(sent.status, 0);
    EXPECT_EQ(WEXITSTATUS(::pclose(running)), 0);

    FILE* records = ::popen((receiver({"records", "Inbox"}) + " | cut -f4").c_str(), "r");
    std::string texts;
    while (std::fgets(line, sizeof line, records)) texts += line;
    ::pclose(records);
    EXPECT_EQ(texts, "newer\nolder\n");  // in the sender's order

    const auto refused = quillet({"send", "127.0.0.1:" + std::to_string(port), "--list", "Main"});
    EXPECT_EQ(refused.out, "Failed\n");  // nobody listens any more
    EXPECT_EQ(refused.status, 1);
}

TEST_F(QuilletProgram, RenameTakesTheTrustedClientsAlong) {
    ASSERT_EQ(quillet({"new-list", "Inbox"}).status, 0);
    ASSERT_EQ(quillet({"trust", "add", "laptop", "ann", "Inbox"}).status, 0);
    ASSERT_EQ(quillet({"rename", "Inbox", "From laptop"}).status, 0);
    EXPECT_EQ(quillet({"trust", "list"}).out, "0\tlaptop\tann\tFrom laptop\n");
    ASSERT_EQ(quillet({"config", "set", "40", "Q"}).status, 0);
    EXPECT_EQ(quillet({"config", "get", "40"}).out, "Q\n");
    EXPECT_EQ(quillet({"--version"}).out, "quillet 4.0.803\n");
}

}  // namespace
