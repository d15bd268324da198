// The control server and the blocking client on a socket in a temporary folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <map>
#include <thread>

#include "app/control_client.h"
#include "tests/app/control_fixture.h"

namespace {

namespace fs = std::filesystem;
using app::ControlReply;
using app::ControlRequest;
using namespace std::string_literals;

class ControlChannel : public testsupport::ControlServerTest {
protected:
    ControlRequest run(std::vector<std::string> words, std::string folder = "") {
        ControlRequest r;
        r.dataFolder = folder.empty() ? data.string() : folder;
        r.workingFolder = this->folder.string();
        r.words = std::move(words);
        return r;
    }
    std::vector<std::string> mainTexts() {
        return onServer([this] {
            std::vector<std::string> texts;
            for (const auto& r : store->history().at(0)->records()) texts.push_back(r->textUtf8());
            return texts;
        });
    }
};

TEST_F(ControlChannel, ACommandRunsOnTheLiveStoreAndItsOutputComesBack) {
    startServer();
    ControlRequest add = run({"add", "--text-file", "-"});
    add.standardInput = "from the caller";
    EXPECT_EQ(app::sendRequest(socket, add), (ControlReply{ControlReply::Kind::Done, 0, "", ""}));
    EXPECT_EQ(mainTexts(), std::vector<std::string>{"from the caller"});

    ControlRequest records = run({"records", "Main"});
    records.json = true;
    const auto listed = app::sendRequest(socket, records);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->out.rfind("[{\"index\":0,\"text\":\"from the caller\"", 0), 0u) << listed->out;

    EXPECT_EQ(app::sendRequest(socket, run({"copy", "Main", "0"}))->status, 0);
    EXPECT_EQ(onServer([this] { return daemon.calls; }), "copy from the caller;");

    const auto failed = app::sendRequest(socket, run({"records", "Nope"}));
    EXPECT_EQ(failed, (ControlReply{ControlReply::Kind::Done, 1, "",
                                    "quillet: There is no record list \"Nope\".\n"}));
    EXPECT_FALSE(fs::exists(data));  // the live store, not the files
}

TEST_F(ControlChannel, AnotherDataFolderIsNotMine) {
    startServer();
    const std::string spellings[] = {(folder / "other").string(), "data", ""};
    for (const auto& other : spellings) {
        ControlRequest r = run({"add", "--text", "x"});
        r.dataFolder = other;
        EXPECT_EQ(app::sendRequest(socket, r)->kind, ControlReply::Kind::NotMine) << other;
    }
    // The same folder spelled differently is ours.
    EXPECT_EQ(app::sendRequest(socket, run({"lists"}, (folder / "x" / ".." / "data/").string()))->kind,
              ControlReply::Kind::Done);
    EXPECT_TRUE(mainTexts().empty());

    ControlRequest activate;
    activate.kind = ControlRequest::Kind::Activate;
    EXPECT_EQ(app::sendRequest(socket, activate), ControlReply{});
    EXPECT_EQ(onServer([this] { return requests.back().kind; }), ControlRequest::Kind::Activate);
}

TEST_F(ControlChannel, BadFramesEndTheConnectionAndTheServerGoesOn) {
    startServer();
    const std::string body = "\x01\x00\x00\x00" "\x00\x00\x00\x00" "\x00\x00\x00\x00" "\x00"
                             "\x00\x00\x00\x00" "\x00\x00\x00\x00"s;
    const std::string frames[] = {
        "QCRQ\x01\x00\x00\x00\xFF\xFF\xFF\xFF"s,                  // a body far over the cap
        "QCRQ\x01\x00\x00\x00\x15\x00\x00\x00"s + "\x03" + body.substr(1),  // unknown kind
        "QCRQ\x01\x00\x00\x00\x16\x00\x00\x00"s + body + "x",     // a byte after the last field
        "HELO\x01\x00\x00\x00\x15\x00\x00\x00"s + body,
    };
    for (const auto& frame : frames) {
        const int fd = connectRaw();
        ASSERT_GE(fd, 0);
        sendRaw(fd, frame);
        EXPECT_EQ(readToEnd(fd), "") << frame;
        ::close(fd);
    }
    // The same body in a good frame is answered.
    const int fd = connectRaw();
    sendRaw(fd, "QCRQ\x01\x00\x00\x00\x15\x00\x00\x00"s + body);
    const std::string reply = readToEnd(fd).value_or("");
    ::close(fd);
    EXPECT_EQ(reply.substr(0, 4), "QCRP");
    EXPECT_EQ(onServer([this] { return requests.size(); }), 1u);
}

TEST_F(ControlChannel, ASilentClientNeitherHoldsTheServerNorStays) {
    app::ControlServerSettings settings;
    settings.ioTimeout = std::chrono::milliseconds(2000);
    startServer(settings);
    const int silent = connectRaw();
    sendRaw(silent, "QCRQ\x01\x00\x00\x00\x40\x00\x00\x00" "\x01\x00"s);  // then nothing
    EXPECT_EQ(app::sendRequest(socket, run({"lists"}))->status, 0);
    EXPECT_EQ(readToEnd(silent), "");  // dropped after the time-out
    ::close(silent);
}

TEST_F(ControlChannel, ConnectionsBeyondTheCapAreClosedAtOnce) {
    app::ControlServerSettings settings;
    settings.maxConnections = 2;
    startServer(settings);
    const int first = connectRaw(), second = connectRaw(), third = connectRaw();
    const std::string lists = *app::encodeRequest(run({"lists"}));
    sendRaw(third, lists);
    EXPECT_EQ(readToEnd(third), "");
    ::close(first);
    ::close(second);
    ::close(third);
    // Closed connections make room again.
    ASSERT_TRUE(eventually([this] { return server->connections() == 0; }));
    const int fourth = connectRaw();
    sendRaw(fourth, lists);
    EXPECT_EQ(readToEnd(fourth).value_or("").substr(0, 4), "QCRP");
    ::close(fourth);
}

TEST_F(ControlChannel, TheSocketIsPrivateAndGoesWithTheServer) {
    startServer();
    struct stat info {};
    ASSERT_EQ(::lstat(socket.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // A second server on the same socket finds the first answering.
    EXPECT_THROW(onServer([this] {
                     app::ControlServer(io, *lock, socket,
                                        app::ControlServer::answering([](const ControlRequest&) { return ControlReply{}; }));
                 }),
                 std::system_error);
    onServer([this] { server.reset(); });
    EXPECT_FALSE(fs::exists(socket));
    EXPECT_FALSE(app::sendRequest(socket, run({"lists"})));
}

TEST_F(ControlChannel, AStaleSocketFileIsNobodyAndIsReplaced) {
    {
        // What a daemon that died leaves behind: the file of a socket nobody listens on.
        asio::local::stream_protocol::acceptor dead(io, asio::local::stream_protocol::endpoint(socket.string()));
    }
    ASSERT_TRUE(fs::exists(socket));
    EXPECT_FALSE(app::sendRequest(socket, run({"lists"})));
    startServer();
    EXPECT_EQ(app::sendRequest(socket, run({"lists"}))->status, 0);
}

TEST_F(ControlChannel, SomethingElseAtTheSocketsNameIsLeftAlone) {
    write(socket, "not a socket");
    EXPECT_FALSE(app::sendRequest(socket, run({"lists"})));
    EXPECT_THROW(startServer(), std::system_error);
    EXPECT_EQ(contents(socket), "not a socket");
}

TEST_F(ControlChannel, AHandlerThatThrowsStillAnswers) {
    onServer([this] {
        server = std::make_unique<app::ControlServer>(
            io, *lock, socket,
            app::ControlServer::answering([](const ControlRequest&) -> ControlReply { throw std::runtime_error("It broke."); }));
    });
    EXPECT_EQ(app::sendRequest(socket, run({"lists"})),
              (ControlReply{ControlReply::Kind::Done, 1, "", "quillet: It broke.\n"}));
}

// A command that waits for something (a transfer) is answered later, and meanwhile the server
// answers others; a reply given after the server has gone reaches nobody and harms nothing.
TEST_F(ControlChannel, ARepliesLaterWhileOthersAreAnswered) {
    std::map<std::string, app::ControlServer::Respond> held;  // by the request's second word
    onServer([this, &held] {
        server = std::make_unique<app::ControlServer>(
            io, *lock, socket, [&held](const ControlRequest& request, const app::ControlServer::Respond& respond) {
                if (request.words.at(0) == "later") held.emplace(request.words.at(1), respond);
                else respond(ControlReply{ControlReply::Kind::Done, 0, "at once\n", ""});
            });
    });
    app::ClientTimeouts timeouts;
    timeouts.reply = std::chrono::seconds(10);  // a failing test does not wait for the default
    auto later = [&](std::string which) { return app::sendRequest(socket, run({"later", which}), timeouts); };
    auto first = std::async(std::launch::async, later, "first");
    auto second = std::async(std::launch::async, later, "second");
    for (int i = 0; i < 500 && onServer([&] { return held.size(); }) < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(onServer([&] { return held.size(); }), 2u);
    EXPECT_EQ(app::sendRequest(socket, run({"now"}))->out, "at once\n");

    onServer([&] {
        held.at("first")(ControlReply{ControlReply::Kind::Done, 1, "Failed\n", ""});
        held.at("first")(ControlReply{ControlReply::Kind::Done, 0, "a second reply\n", ""});
    });
    EXPECT_EQ(first.get(), (ControlReply{ControlReply::Kind::Done, 1, "Failed\n", ""}));

    onServer([&] {
        server.reset();
        held.at("second")(ControlReply{ControlReply::Kind::Done, 0, "too late\n", ""});
    });
    const auto late = second.get();
    ASSERT_TRUE(late);
    EXPECT_EQ(late->status, 1);
    EXPECT_EQ(late->out, "");
    onServer([&] { held.clear(); });
}

TEST_F(ControlChannel, ADaemonThatGoesSilentIsAFailedCommandNotAFallback) {
    // Accepts and reads, never answers.
    asio::local::stream_protocol::acceptor mute(io, asio::local::stream_protocol::endpoint(socket.string()));
    app::ClientTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(200);
    const auto reply = app::sendRequest(socket, run({"lists"}), timeouts);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 1);
    EXPECT_EQ(reply->err, "quillet: The quillet daemon did not answer.\n");
}

}  // namespace
