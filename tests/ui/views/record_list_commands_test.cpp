#include <QDialog>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "net/sender.h"
#include "persist/files/history_file.h"
#include "ui/views/command_ids.h"
#include "ui/views/history_window.h"
#include "ui/views/record_list_commands.h"
#include "ui/views/record_list_window.h"
#include "ui/views/send_object_dlg.h"
#include "views_fixture.h"

using namespace viewstest;
using namespace list_command;

namespace {

// A local port that was free a moment ago: connecting to it is refused.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

class CommandsTest : public ViewsTest {
protected:
    void SetUp() override {
        ViewsTest::SetUp();
        window = std::make_unique<MainHistoryWindow>(context);
        window->resize(300, 300);
    }
    void TearDown() override {
        // File work posts back to the window: let it finish first.
        waitFor([&] { return !window->commands().fileTaskRunning(); });
        window.reset();
    }
    bool run(int id) { return window->executeCommand(id); }
    bool waitForFileTask() {
        return waitFor([&] { return !window->commands().fileTaskRunning(); });
    }

    std::unique_ptr<MainHistoryWindow> window;
    QTemporaryDir folder;
};

TEST_F(CommandsTest, DeleteAllAsksFirst) {
    window->selectTab(1);
    answer = QMessageBox::No;
    run(kDeleteAll);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Do you really want to delete all of the clipboard records from list: Work?");
    EXPECT_EQ(messages[0].title, "Quillet");
    EXPECT_EQ(messages[0].icon, QMessageBox::Question);
    EXPECT_EQ(list(1).count(), 3u);
    answer = QMessageBox::Yes;
    run(kDeleteAll);
    EXPECT_EQ(list(1).count(), 0u);
}

TEST_F(CommandsTest, RemoveAsksAndDoesNothingForTheListeningList) {
    window->selectTab(0);  // listening
    EXPECT_FALSE(run(kRemoveList));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(history.count(), 3u);

    window->selectTab(1);
    run(kRemoveList);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Do you really want to remove the list: Work?");
    EXPECT_EQ(names(history), "Main,Search");
    QCoreApplication::processEvents();
    EXPECT_EQ(window->tabCount(), 2);
}

TEST_F(CommandsTest, DeleteAndRemoveDoNothingInASearchList) {
    search().add(list(0).at(0));
    window->selectTab(2);
    window->currentListWindow()->selectRow(0);
    for (int id : {kDelete, kDeleteAll, kMultipleDelete, kRemoveList, kLoadList, kListenToClipboard})
        EXPECT_FALSE(run(id)) << id;
    EXPECT_EQ(search().count(), 1u);
    EXPECT_TRUE(messages.empty());
    // Copy and paste work there.
    EXPECT_TRUE(run(kCopy));
    EXPECT_EQ(copied, std::vector<std::string>{"m0"});
}

TEST_F(CommandsTest, RecordCommandsActOnTheSelectedRow) {
    window->selectTab(1);
    window->currentListWindow()->selectRow(1);
    EXPECT_TRUE(run(kPaste));
    EXPECT_EQ(pasted, std::vector<std::string>{"w1"});
    EXPECT_TRUE(run(kDelete));
    EXPECT_EQ(texts(list(1)), "w0,w2");
    window->currentListWindow()->selectRow(-1);
    EXPECT_FALSE(run(kCopy));
    EXPECT_FALSE(run(kDelete));
    EXPECT_TRUE(copied.empty());
}

TEST_F(CommandsTest, MultipleDeleteRemovesTheChosenRecords) {
    QString prompt;
    actions.selectRecords = [&](QWidget*, cb::RecordList&, const QString& p) {
        prompt = p;
        return std::optional<std::vector<int>>({1, 3, 4});
    };
    run(kMultipleDelete);
    EXPECT_EQ(prompt, "Please select the records that will be deleted.");
    EXPECT_EQ(texts(list(0)), "m0,m2,m5,m6,m7,m8,m9");
}

TEST_F(CommandsTest, NewListGoesAfterTheCurrentTabUnlessTheHistoryIsFull) {
    actions.editListProperties = [](QWidget*, cb::RecordList& l, bool isNew) {
        EXPECT_TRUE(isNew);
        l.setName(u"Fresh");
        return true;
    };
    window->selectTab(0);
    run(kNewList);
    EXPECT_EQ(names(history), "Main,Fresh,Work,Search");
    EXPECT_EQ(window->tabCaption(1), "Fresh");
    history.setMaxLists(4);
    run(kNewList);  // refused and discarded
    EXPECT_EQ(history.count(), 4u);
}

TEST_F(CommandsTest, PropertiesNotifyTheHistory) {
    actions.editListProperties = [](QWidget*, cb::RecordList& l, bool) {
        l.setName(u"Office");
        return true;
    };
    window->selectTab(1);
    run(kListProperties);
    EXPECT_EQ(window->tabCaption(1), "Office");
}

TEST_F(CommandsTest, LoadingTenRecordsIntoAListOfFiveKeepsTheFirstFiveInFileOrder) {
    std::unique_ptr<cb::RecordList> saved(makeList(u"Saved", 10, "f"));
    const QString path = folder.filePath("ten.qlt");
    ASSERT_TRUE(persist::writeListFile(*saved, path.toStdString()));

    cb::RecordList* small = makeList(u"Small", 0);
    small->setMaxCount(5);
    small->setDiscardOld(true);
    small->add(record("old"));
    history.insertList(small, 1);
    window->selectTab(1);
    actions.chooseListFile = [&](QWidget*, bool save) {
        EXPECT_FALSE(save);
        return path;
    };
    QSignalSpy finished(&window->commands(), &RecordListCommands::fileTaskFinished);
    run(kLoadList);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished[0][0].toBool());
    EXPECT_EQ(texts(*small), "f0,f1,f2,f3,f4");
    EXPECT_TRUE(messages.empty());
}

TEST_F(CommandsTest, AFailedLoadLeavesTheListAndSaysSo) {
    const QString path = folder.filePath("bad.qlt");
    {
        std::ofstream(path.toStdString()) << "not a list file";
    }
    window->selectTab(1);
    actions.chooseListFile = [&](QWidget*, bool) { return path; };
    QSignalSpy finished(&window->commands(), &RecordListCommands::fileTaskFinished);
    run(kLoadList);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(texts(list(1)), "w0,w1,w2");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error loading the clipboard record list!");
    EXPECT_EQ(messages[0].title, "Error");
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
}

TEST_F(CommandsTest, SaveWritesAListFileAndReportsFailure) {
    window->selectTab(1);
    const QString path = folder.filePath("work.qlt");
    actions.chooseListFile = [&](QWidget*, bool save) {
        EXPECT_TRUE(save);
        return path;
    };
    QSignalSpy finished(&window->commands(), &RecordListCommands::fileTaskFinished);
    run(kSaveList);
    ASSERT_TRUE(finished.wait(5000));
    cb::RecordList read;
    persist::readListFile(read, path.toStdString());
    EXPECT_EQ(texts(read), "w0,w1,w2");
    EXPECT_EQ(read.nameUtf8(), "Work");

    actions.chooseListFile = [&](QWidget*, bool) { return folder.filePath("missing/x.qlt"); };
    run(kSaveList);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished[1][0].toBool());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error saving the clipboard record list!");
    EXPECT_EQ(messages[0].title, "Error");
}

TEST_F(CommandsTest, ExportWritesEveryRecordIntoTheChosenFolder) {
    cb::RecordList* l = makeList(u"Exported", 0);
    l->add(capturedRecord(u"second"));
    l->add(capturedRecord(u"first"));
    history.insertList(l, 0);
    window->selectTab(0);
    actions.chooseExportFolder = [&](QWidget*) { return folder.path(); };
    QSignalSpy finished(&window->commands(), &RecordListCommands::fileTaskFinished);
    run(kExport);
    ASSERT_TRUE(finished.wait(5000));
    std::ifstream first(folder.filePath("clip_ 0.txt").toStdString());
    std::string text((std::istreambuf_iterator<char>(first)), {});
    EXPECT_EQ(text, "first");
    EXPECT_TRUE(QFile::exists(folder.filePath("clip_ 1.txt")));
}

TEST(RememberedHosts, AddingDropsTheOldestBeyondAHundredAndSkipsDuplicates) {
    std::deque<NetworkAddress> hosts;
    for (int i = 0; i < 102; ++i) hosts.emplace_back("h" + std::to_string(i), 1);
    RecordListCommands::rememberHost(hosts, NetworkAddress("new", 2));
    EXPECT_EQ(hosts.size(), 101u);
    EXPECT_EQ(hosts.front().host, "h2");
    EXPECT_EQ(hosts.back().host, "new");
    // Already there: only the trimming to a hundred happens.
    RecordListCommands::rememberHost(hosts, NetworkAddress("new", 2));
    EXPECT_EQ(hosts.size(), 100u);
    EXPECT_EQ(hosts.back().host, "new");
    RecordListCommands::rememberHost(hosts, NetworkAddress("new", 3));  // another port
    EXPECT_EQ(hosts.back().port, 3);
}

TEST_F(CommandsTest, SendingToAComputerThatRefusesShowsFailureAndRemembersNothing) {
    // A port nobody listens on: bind one, then close it.
    const int port = closedPort();
    actions.askHost = [&](QWidget*) { return std::optional<NetworkAddress>({"127.0.0.1", port}); };
    QString shown;
    actions.runModal = [&](QDialog& dialog) {
        auto& send = static_cast<SendObjectDlg&>(dialog);
        EXPECT_EQ(send.message(), QString("Sending to 127.0.0.1 : %1").arg(port));
        EXPECT_EQ(send.buttonText(), "Cancel");
        dialog.show();
        waitFor([&] { return send.buttonText() == "Close"; });
        shown = send.message();
        dialog.reject();
        return dialog.result();
    };
    window->currentListWindow()->selectRow(0);
    run(kSendRecordOther);
    EXPECT_EQ(shown, QString("Sending to 127.0.0.1 : %1\n\nFailed.").arg(port));
    EXPECT_TRUE(config.rememberedHosts().empty());
}

TEST(SendObjectDialog, ShowsEachStateTheSenderReports) {
    auto sender = std::make_shared<net::Sender>();
    ASSERT_TRUE(sender->prepare(NetworkAddress("peer", 45689), *capturedRecord(u"hello")));
    struct Case {
        int state;
        QString text;
    } cases[] = {{net::kSendFailed, "Sending to peer : 45689\n\nFailed."},
                 {net::kSendRejected, "Sending to peer : 45689\n\nRejected."},
                 {net::kSendFinished, "Sending to peer : 45689\n\nFinished."}};
    for (const auto& c : cases) {
        SendObjectDlg dialog(sender);  // not shown: nothing is sent
        EXPECT_EQ(dialog.buttonText(), "Cancel");
        dialog.handleState(net::kSendProgress, 3);
        EXPECT_EQ(dialog.progress(), std::min(3, dialog.progressMaximum()));
        dialog.handleState(c.state, 0);
        EXPECT_EQ(dialog.message(), c.text);
        EXPECT_EQ(dialog.buttonText(), "Close");
        if (c.state == net::kSendFinished) {
            EXPECT_EQ(dialog.progress(), dialog.progressMaximum());
        }
    }
}

}  // namespace
