#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "model/history.h"
#include "model/record_list.h"
#include "net/server.h"
#include "net/trust.h"
#include "persist/config/app_config.h"
#include "tests/ui/dialogs/modal_helper.h"
#include "ui/dialogs/about_dlg.h"
#include "ui/dialogs/first_run_dlg.h"
#include "ui/dialogs/multi_paster_dlg.h"
#include "ui/dialogs/new_version_dlg.h"
#include "ui/dialogs/record_list_property_dlg.h"
#include "ui/dialogs/select_record_dlg.h"

using testing_ui::child;
using testing_ui::messageShownBy;

namespace {

cb::RecordPtr textRecord(const char16_t* text) {
    auto record = boost::make_shared<cb::Record>();
    record->setText(text);
    return record;
}

// A list showing "one", "two", "three" from the top.
std::unique_ptr<cb::RecordList> threeRecords() {
    auto list = std::make_unique<cb::RecordList>(u"Default");
    for (const char16_t* t : {u"three", u"two", u"one"}) list->add(textRecord(t));
    return list;
}

void selectRows(QListView* view, std::initializer_list<int> rows) {
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
}

TEST(MultiPasterDlgTest, PastesTheSelectedTextsEachFollowedByTheSeparator) {
    AppConfig config;
    auto list = threeRecords();
    std::vector<std::u16string> pasted;
    MultiPasterDlg dlg(*list, config, [&](const std::u16string& t) { pasted.push_back(t); },
                       nullptr);
    dlg.show();
    auto* insert = child<QCheckBox>(&dlg, "insertText");
    auto* separator = child<QPlainTextEdit>(&dlg, "separator");
    EXPECT_FALSE(insert->isChecked());
    EXPECT_FALSE(separator->isEnabled());
    EXPECT_TRUE(dlg.recordView()->selectionModel()->selectedRows().isEmpty());
    insert->click();
    EXPECT_TRUE(separator->isEnabled());
    separator->setPlainText("\n");
    selectRows(dlg.recordView(), {2, 0, 1});
    dlg.accept();
    EXPECT_EQ(pasted, std::vector<std::u16string>{u"one\ntwo\nthree\n"});
    EXPECT_TRUE(config.getBool(kOptInsertTextBetween));
    EXPECT_EQ(config.getString(kOptTextBetween), u"\n");
}

TEST(MultiPasterDlgTest, WithoutTheSeparatorOrASelection) {
    AppConfig config;
    config.setBool(kOptInsertTextBetween, false);
    config.setString(kOptTextBetween, u", ");
    auto list = threeRecords();
    std::vector<std::u16string> pasted;
    auto paste = [&](const std::u16string& t) { pasted.push_back(t); };
    {
        MultiPasterDlg dlg(*list, config, paste, nullptr);
        EXPECT_EQ(child<QPlainTextEdit>(&dlg, "separator")->toPlainText(), ", ");
        selectRows(dlg.recordView(), {1, 2});
        dlg.accept();
    }
    {
        MultiPasterDlg dlg(*list, config, paste, nullptr);
        dlg.accept();
    }
    {
        // Closed without OK: nothing pasted, nothing remembered.
        MultiPasterDlg dlg(*list, config, paste, nullptr);
        child<QCheckBox>(&dlg, "insertText")->setChecked(true);
        dlg.reject();
    }
    EXPECT_EQ(pasted, (std::vector<std::u16string>{u"twothree", u""}));
    EXPECT_FALSE(config.getBool(kOptInsertTextBetween));
}

TEST(MultiPasterDlgTest, PasteAllTakesEveryRecordWithTheRememberedSeparator) {
    AppConfig config;
    config.setBool(kOptInsertTextBetween, true);
    config.setString(kOptTextBetween, u" | ");
    std::vector<std::u16string> pasted;
    auto paste = [&](const std::u16string& t) { pasted.push_back(t); };
    MultiPasterDlg::pasteAll(*threeRecords(), config, paste);
    MultiPasterDlg::pasteAll(cb::RecordList(u"Empty"), config, paste);
    EXPECT_EQ(pasted, (std::vector<std::u16string>{u"one | two | three | ", u""}));
}

TEST(SelectRecordDlgTest, OkCollectsTheSelectedRecordsInRowOrder) {
    auto list = threeRecords();
    SelectRecordDlg dlg(*list, "Please select the records that will be deleted.", nullptr);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Select Records");
    EXPECT_EQ(child<QLabel>(&dlg, "prompt")->text(),
              "Please select the records that will be deleted.");
    selectRows(dlg.recordView(), {2, 0});
    dlg.accept();
    ASSERT_EQ(dlg.chosenRecords().size(), 2u);
    EXPECT_EQ(dlg.chosenRecords()[0], list->at(0));
    EXPECT_EQ(dlg.chosenRecords()[1], list->at(2));
    // Resizable, but never below the size it opened with.
    EXPECT_TRUE(dlg.isSizeGripEnabled());
    EXPECT_EQ(dlg.minimumSize(), dlg.size());

    SelectRecordDlg cancelled(*list, "Pick", nullptr);
    selectRows(cancelled.recordView(), {1});
    cancelled.reject();
    EXPECT_TRUE(cancelled.chosenRecords().empty());
}

class RecordListPropertyTest : public ::testing::Test {
protected:
    RecordListPropertyTest() {
        history.insertList(work = new cb::RecordList(u"Work"), 0);
        history.insertList(new cb::RecordList(u"Other"), 1);
    }
    cb::History history;
    cb::RecordList* work;
    AppConfig config;
};

TEST_F(RecordListPropertyTest, RefusesInOrderAndKeepsTheListUntouched) {
    struct Case {
        const char* name;
        const char* count;
        const char* message;
        const char* focus;
    };
    const Case cases[] = {
        {"", "abc", "Name can not be empty!", "name"},
        {"Other", "0", "The name of the record list is already in the record history!", "name"},
        {"other", "0", "Max record count must be in 1 ~ 1000!", "maxCount"},
        {"Work", "1001", "Max record count must be in 1 ~ 1000!", "maxCount"},
        {"Work", "", "Max record count must be in 1 ~ 1000!", "maxCount"},
        // Its own name again is no clash.
        {"Work", "1000", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.count);
        RecordListPropertyDlg dlg(*work, history, config, nullptr);
        dlg.show();
        EXPECT_EQ(child<QLineEdit>(&dlg, "maxCount")->text(), "100");
        child<QLineEdit>(&dlg, "name")->setText(c.name);
        child<QLineEdit>(&dlg, "maxCount")->setText(c.count);
        EXPECT_EQ(messageShownBy([&] { dlg.accept(); }), c.message);
        if (c.focus) {
            EXPECT_EQ(dlg.focusWidget(), child<QLineEdit>(&dlg, c.focus));
            EXPECT_NE(dlg.result(), QDialog::Accepted);
        }
        EXPECT_EQ(work->maxCount(), c.focus ? 100u : 1000u);
    }
}

TEST_F(RecordListPropertyTest, RenamedListKeepsReceivingFromItsTrustedClient) {
    TrustedClientList clients;
    clients.clients.emplace_back("laptop", "ann", "Work");
    clients.clients.emplace_back("desk", "", "Other");
    config.setTrustedClients(clients);

    RecordListPropertyDlg dlg(*work, history, config, nullptr);
    child<QLineEdit>(&dlg, "name")->setText("Office");
    child<QCheckBox>(&dlg, "discardOld")->setChecked(false);
    child<QCheckBox>(&dlg, "moveToFront")->setChecked(true);
    dlg.accept();
    EXPECT_EQ(work->name(), u"Office");
    EXPECT_FALSE(work->discardOld());
    EXPECT_TRUE(work->moveToFront());
    EXPECT_EQ(config.trustedClientsCopy().clients[1].listName, "Other");

    // What the receiver does with a record from that client now.
    net::QueryInfo query;
    query.hostName = "laptop";
    query.userName = "ann";
    const TrustedClientList now = config.trustedClientsCopy();
    const TrustedClient* matched = net::findTrustedClient(now, query);
    ASSERT_NE(matched, nullptr);
    net::Server server(config);
    server.deliver(*matched, textRecord(u"from the laptop"));
    EXPECT_TRUE(server.drainRecords(history));
    ASSERT_EQ(work->count(), 1u);
    EXPECT_EQ(work->at(0)->text(), u"from the laptop");
}

TEST(FirstRunDlgTest, OnlyOkWritesTheChoice) {
    AppConfig config;
    {
        FirstRunDlg dlg(config, nullptr);
        EXPECT_EQ(dlg.windowTitle(), "Quillet");
        child<QCheckBox>(&dlg, "checkNewVersion")->setChecked(true);
        dlg.reject();
    }
    EXPECT_FALSE(config.options().contains(kOptCheckForNewVersion) &&
                 config.getBool(kOptCheckForNewVersion));
    FirstRunDlg dlg(config, nullptr);
    child<QCheckBox>(&dlg, "checkNewVersion")->setChecked(true);
    dlg.accept();
    EXPECT_TRUE(config.getBool(kOptCheckForNewVersion));
}

TEST(AboutDlgTest, ShowsTheProductAndItsVersion) {
    AboutDlg dlg(nullptr);
    EXPECT_EQ(dlg.windowTitle(), "About Quillet");
    EXPECT_EQ(child<QLabel>(&dlg, "productLine")->text(), "Quillet 4.1.0 - beta 3");
}

TEST(NewVersionDlgTest, LabelsTheLinkAndClosesWithClose) {
    NewVersionDlg dlg("https://example.org/get?a=1&b=2", nullptr);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Quillet - New Version");
    auto* link = child<QLabel>(&dlg, "downloadLink");
    EXPECT_EQ(link->text(),
              "<a href=\"https://example.org/get?a=1&amp;b=2\">Download new version</a>");
    EXPECT_EQ(dlg.link(), "https://example.org/get?a=1&b=2");
    QAbstractButton* close = dlg.findChild<QDialogButtonBox*>()->buttons().at(0);
    EXPECT_EQ(close->text(), "Close");
    close->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
