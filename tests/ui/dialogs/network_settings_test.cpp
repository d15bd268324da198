#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "model/history.h"
#include "model/item_type.h"
#include "model/record_list.h"
#include "model/search_list.h"
#include "persist/config/app_config.h"
#include "tests/ui/dialogs/modal_helper.h"
#include "ui/dialogs/host_dlg.h"
#include "ui/dialogs/option_dlg.h"
#include "ui/dialogs/running_programs.h"
#include "ui/dialogs/trusted_client_property_dlg.h"

using testing_ui::child;
using testing_ui::messageShownBy;
using testing_ui::withNextModal;

namespace {

class NoPrograms : public RunningPrograms {
public:
    std::vector<Window> topLevelWindows() override { return {}; }
};

class NetworkPageTest : public ::testing::Test {
protected:
    NetworkPageTest() : types(cb::ItemTypeRegistry::standard()) {
        for (const char16_t* name : {u"Default", u"Work", u"Archive"})
            history.insertList(new cb::RecordList(name), history.count());
        history.insertList(new SearchList(u"Search"), history.count());
        TrustedClientList list;
        list.clients.emplace_back("laptop", "ann", "Work");
        config.setTrustedClients(list);
        config.autoSendHosts() = {NetworkAddress("desk", 45689)};
    }

    std::unique_ptr<OptionDlg> openNetworkPage() {
        auto dlg = std::make_unique<OptionDlg>(
            OptionDlg::Services{config, history, types, programs, [this] { ++receiverUpdates; }},
            nullptr);
        dlg->pages()->setCurrentIndex(1);
        dlg->show();
        return dlg;
    }

    AppConfig config;
    cb::History history;
    cb::ItemTypeRegistry types;
    NoPrograms programs;
    int receiverUpdates = 0;
};

TEST_F(NetworkPageTest, PortOutOfRangeKeepsTheDialogOpenWithTheFocusOnThePort) {
    auto dlg = openNetworkPage();
    auto* port = child<QLineEdit>(dlg.get(), "port");
    EXPECT_EQ(port->text(), "45689");
    for (const char* bad : {"70000", ""}) {
        port->setText(bad);
        EXPECT_EQ(messageShownBy([&] { dlg->accept(); }), "");  // a beep, no box
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(dlg->focusWidget(), port);
        EXPECT_EQ(config.getPort(kOptServerPort, 1), 45689);
    }
    EXPECT_EQ(receiverUpdates, 0);

    port->setText("0");
    EXPECT_EQ(messageShownBy([&] { dlg->accept(); }), "");
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(config.getPort(kOptServerPort, 1), 0);
    EXPECT_EQ(receiverUpdates, 1);
}

TEST_F(NetworkPageTest, ReceivingOffDisablesTheClientsButKeepsThem) {
    config.setBool(kOptReceiveEnabled, true);
    auto dlg = openNetworkPage();
    auto* clients = child<QTreeWidget>(dlg.get(), "trustedClients");
    auto* add = child<QPushButton>(dlg.get(), "addClient");
    auto* remove = child<QPushButton>(dlg.get(), "removeClient");
    auto* edit = child<QPushButton>(dlg.get(), "editClient");
    ASSERT_EQ(clients->topLevelItemCount(), 1);
    EXPECT_EQ(clients->topLevelItem(0)->text(2), "Work");
    EXPECT_TRUE(clients->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_FALSE(edit->isEnabled());
    clients->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_TRUE(edit->isEnabled());
    clients->clearSelection();
    EXPECT_FALSE(edit->isEnabled());
    clients->topLevelItem(0)->setSelected(true);

    child<QCheckBox>(dlg.get(), "receiveEnabled")->click();
    for (QWidget* w : std::initializer_list<QWidget*>{clients, add, remove, edit})
        EXPECT_FALSE(w->isEnabled());
    dlg->accept();
    EXPECT_FALSE(config.getBool(kOptReceiveEnabled, true));
    ASSERT_EQ(config.trustedClientsCopy().clients.size(), 1u);
    EXPECT_EQ(config.trustedClientsCopy().clients[0], TrustedClient("laptop", "ann", "Work"));
    EXPECT_EQ(receiverUpdates, 1);
}

TEST_F(NetworkPageTest, ListsChangeOnlyWithOk) {
    config.setBool(kOptReceiveEnabled, true);
    config.setBool(kOptAutoSend, true);
    {
        auto dlg = openNetworkPage();
        auto* hosts = child<QTreeWidget>(dlg.get(), "autoSendHosts");
        hosts->topLevelItem(0)->setSelected(true);
        child<QPushButton>(dlg.get(), "removeHost")->click();
        EXPECT_EQ(hosts->topLevelItemCount(), 0);
        dlg->reject();
    }
    EXPECT_EQ(config.autoSendHosts().size(), 1u);

    auto dlg = openNetworkPage();
    // A client added through its dialog, a host edited through its own.
    ASSERT_TRUE(withNextModal([&] { child<QPushButton>(dlg.get(), "addClient")->click(); },
                              [](QWidget* w) {
                                  child<QLineEdit>(w, "host")->setText("10.0.0.7");
                                  child<QLineEdit>(w, "user")->setText("bob");
                                  child<QComboBox>(w, "list")->setCurrentText("Archive");
                                  static_cast<QDialog*>(w)->accept();
                              }));
    auto* hosts = child<QTreeWidget>(dlg.get(), "autoSendHosts");
    hosts->topLevelItem(0)->setSelected(true);
    ASSERT_TRUE(withNextModal([&] { child<QPushButton>(dlg.get(), "editHost")->click(); },
                              [](QWidget* w) {
                                  EXPECT_EQ(child<QLineEdit>(w, "host")->text(), "desk");
                                  child<QLineEdit>(w, "port")->setText("4000");
                                  static_cast<QDialog*>(w)->accept();
                              }));
    EXPECT_EQ(hosts->topLevelItem(0)->text(1), "4000");
    child<QCheckBox>(dlg.get(), "addressCheck")->setChecked(false);
    dlg->accept();
    const auto clients = config.trustedClientsCopy().clients;
    ASSERT_EQ(clients.size(), 2u);
    EXPECT_EQ(clients[1], TrustedClient("10.0.0.7", "bob", "Archive"));
    EXPECT_EQ(config.autoSendHosts(), std::vector<NetworkAddress>{NetworkAddress("desk", 4000)});
    EXPECT_FALSE(config.getBool(kOptTrustedClientAddressCheck, true));
}

TEST_F(NetworkPageTest, TrustedClientDialogOffersTheRecordListsSortedWithoutSearches) {
    TrustedClient client("laptop", "ann", "Work");
    TrustedClientPropertyDlg dlg(client, history, nullptr);
    auto* lists = child<QComboBox>(&dlg, "list");
    QStringList names;
    for (int i = 0; i < lists->count(); ++i) names << lists->itemText(i);
    EXPECT_EQ(names, (QStringList{"Archive", "Default", "Work"}));
    EXPECT_EQ(lists->currentText(), "Work");
}

TEST_F(NetworkPageTest, TrustedClientDialogReportsTheFirstMissingField) {
    struct Case {
        const char* host;
        const char* user;
        const char* list;  // the client's list name as stored
        const char* message;
    };
    const Case cases[] = {
        {"", "", "", "Host can not be empty!"},
        {"pc", "", "Work", "User can not be empty!"},
        // The list was renamed since: nothing is selected.
        {"pc", "ann", "Old name", "List can not be empty!"},
        {" ", "ann", "Work", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TrustedClient client(c.host, c.user, c.list);
        const TrustedClient before = client;
        TrustedClientPropertyDlg dlg(client, history, nullptr);
        dlg.show();
        EXPECT_EQ(messageShownBy([&] { dlg.accept(); }), c.message);
        EXPECT_EQ(dlg.result() == QDialog::Accepted, c.message[0] == 0);
        if (c.message[0]) {
            EXPECT_EQ(client, before);
        }
    }
}

TEST(HostDlgTest, ChecksThePortBeforeTheHost) {
    struct Case {
        const char* host;
        const char* port;
        const char* message;
        bool accepted;
        const char* focus;
    };
    const Case cases[] = {
        {"", "70000", "", false, "port"},
        {"", "x1", "", false, "port"},
        {"", "80", "Host can not be empty!", false, "host"},
        {"  ", "0", "", true, nullptr},
        {"desk", "65535", "", true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + ":" + c.port);
        HostDlg dlg(nullptr);
        dlg.show();
        child<QLineEdit>(&dlg, "host")->setText(c.host);
        child<QLineEdit>(&dlg, "port")->setText(c.port);
        EXPECT_EQ(messageShownBy([&] { dlg.accept(); }), c.message);
        EXPECT_EQ(dlg.result() == QDialog::Accepted, c.accepted);
        if (c.focus) {
            EXPECT_EQ(dlg.focusWidget(), child<QLineEdit>(&dlg, c.focus));
        }
        if (c.accepted) {
            EXPECT_EQ(dlg.address(), NetworkAddress(c.host, QString(c.port).toInt()));
        }
    }
}

TEST(HostDlgTest, ANewDialogOffersTheDefaultPort) {
    HostDlg dlg(nullptr);
    EXPECT_EQ(child<QLineEdit>(&dlg, "port")->text(), "45689");
    EXPECT_EQ(child<QLineEdit>(&dlg, "host")->text(), "");
}

}  // namespace
