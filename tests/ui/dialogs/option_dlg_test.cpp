#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "model/history.h"
#include "model/item_type.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_formats.h"
#include "tests/ui/dialogs/modal_helper.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/option_dlg.h"
#include "ui/dialogs/running_programs.h"
#include "ui/dialogs/select_application_dlg.h"

using testing_ui::child;
using testing_ui::messageShownBy;
using testing_ui::withNextModal;

namespace {

class FakePrograms : public RunningPrograms {
public:
    std::vector<Window> windows;
    std::vector<Window> topLevelWindows() override { return windows; }
};

class OptionDlgTest : public ::testing::Test {
protected:
    OptionDlgTest() : types(cb::ItemTypeRegistry::standard()) {}

    std::unique_ptr<OptionDlg> open(int page = 0) {
        auto dlg = std::make_unique<OptionDlg>(
            OptionDlg::Services{config, history, types, programs, [this] { ++receiverUpdates; }},
            nullptr);
        dlg->pages()->setCurrentIndex(page);
        dlg->show();
        return dlg;
    }

    // Presses OK; the text of the error box it showed, if any.
    static QString pressOk(OptionDlg& dlg) {
        return messageShownBy([&] { dlg.accept(); });
    }

    AppConfig config;
    cb::History history;
    cb::ItemTypeRegistry types;
    FakePrograms programs;
    int receiverUpdates = 0;
};

struct ShortcutCase {
    const char* popupKey;
    const char* plainKey;
    bool popupEnabled, win, ctrl, alt;
    bool floatingWin, floatingCtrl, floatingAlt;
    const char* message;  // empty: accepted
};

TEST_F(OptionDlgTest, GeneralPageChecksTheShortcutsInOrder) {
    const QString oneChar = "Popup shortcut key must be of one character!";
    const QString plainOneChar = "Popup plain text shortcut key must be of one character!";
    const QString ctrlV = "\"Ctrl + V\" is not supported as popup shortcut key for pasting plain text!";
    const QString popupMods =
        "At least one of \"Win\", \"Ctrl\" or \"Alt\" must be checked for popup shortcut key!";
    const QString floatingMods =
        "At least one of \"Win\", \"Ctrl\" or \"Alt\" must be checked for floating shortcut key!";
    const ShortcutCase cases[] = {
        // Checked even with the popup shortcut switched off.
        {"VV", "B", false, true, false, false, true, false, false, "1"},
        {"", "B", true, true, false, false, true, false, false, "1"},
        {"V", "BB", true, true, false, false, true, false, false, "2"},
        {"V", "v", true, false, true, false, true, false, false, "3"},
        {"V", "V", true, false, true, true, true, false, false, ""},
        {"V", "V", true, true, true, false, true, false, false, ""},
        // Ctrl + V is allowed for the ordinary popup.
        {"V", "B", true, false, true, false, true, false, false, ""},
        {"V", "B", true, false, false, false, true, false, false, "4"},
        {"V", "B", true, true, false, false, false, false, false, "5"},
        // Several faults: the first in order is reported.
        {"VV", "BB", true, false, false, false, false, false, false, "1"},
    };
    const QString messages[] = {"", oneChar, plainOneChar, ctrlV, popupMods, floatingMods};
    for (const ShortcutCase& c : cases) {
        SCOPED_TRACE(std::string(c.popupKey) + "/" + c.plainKey + " case " + c.message);
        AppConfig fresh;
        config.options() = fresh.options();
        auto dlg = open();
        child<QCheckBox>(dlg.get(), "popupEnabled")->setChecked(c.popupEnabled);
        child<QCheckBox>(dlg.get(), "popupWin")->setChecked(c.win);
        child<QCheckBox>(dlg.get(), "popupCtrl")->setChecked(c.ctrl);
        child<QCheckBox>(dlg.get(), "popupAlt")->setChecked(c.alt);
        child<QLineEdit>(dlg.get(), "popupKey")->setText(c.popupKey);
        child<QLineEdit>(dlg.get(), "plainTextKey")->setText(c.plainKey);
        child<QCheckBox>(dlg.get(), "floatingWin")->setChecked(c.floatingWin);
        child<QCheckBox>(dlg.get(), "floatingCtrl")->setChecked(c.floatingCtrl);
        child<QCheckBox>(dlg.get(), "floatingAlt")->setChecked(c.floatingAlt);

        const QString expected = messages[c.message[0] ? c.message[0] - '0' : 0];
        EXPECT_EQ(pressOk(*dlg), expected);
        if (expected.isEmpty()) {
            EXPECT_EQ(dlg->result(), QDialog::Accepted);
            EXPECT_EQ(config.getBool(kOptPopupShortcutCtrl), c.ctrl);
        } else {
            // Refused: still open, the input kept, nothing written.
            EXPECT_TRUE(dlg->isVisible());
            EXPECT_EQ(child<QLineEdit>(dlg.get(), "popupKey")->text(), c.popupKey);
            EXPECT_EQ(config.options().entries(), fresh.options().entries());
        }
    }
}

TEST_F(OptionDlgTest, KeysAreStoredUpperCase) {
    auto dlg = open();
    child<QLineEdit>(dlg.get(), "popupKey")->setText("x");
    child<QLineEdit>(dlg.get(), "plainTextKey")->setText("q");
    EXPECT_EQ(pressOk(*dlg), "");
    EXPECT_EQ(config.getChar(kOptPopupShortcutKey, 0), 'X');
    EXPECT_EQ(config.getChar(kOptPlainTextShortcutKey, 0), 'Q');
}

TEST_F(OptionDlgTest, ShortcutEnablingIsDecidedWhenThePageOpens) {
    config.setBool(kOptPopupShortcutEnabled, false);
    config.setBool(kOptReplaceIdenticalClipboard, false);
    auto dlg = open();
    auto* win = child<QCheckBox>(dlg.get(), "popupWin");
    EXPECT_FALSE(win->isEnabled());
    EXPECT_TRUE(child<QCheckBox>(dlg.get(), "floatingWin")->isEnabled());
    child<QCheckBox>(dlg.get(), "popupEnabled")->click();
    EXPECT_FALSE(win->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(dlg.get(), "startWithComputer")->isEnabled());
    // The hidden switch keeps its stored value.
    EXPECT_EQ(pressOk(*dlg), "");
    EXPECT_FALSE(config.getBool(kOptReplaceIdenticalClipboard, true));
}

int rowOf(QTableWidget* grid, const cb::ItemType& type) {
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->item(r, 0)->text() == dialogs::fromU16(type.displayName())) return r;
    return -1;
}

TEST_F(OptionDlgTest, HiddenFormatsFollowTheirPrincipal) {
    const platform::RegisteredFormats& f = platform::registeredFormats();
    const cb::ItemType* text = types.findTypeByFormat(platform::CF_UNICODETEXT);
    const cb::ItemType* locale = types.findTypeByFormat(platform::CF_LOCALE);
    const cb::ItemType* files = types.findTypeByFormat(platform::CF_HDROP);
    ASSERT_TRUE(text && locale && files);
    const cb::ItemType* shell[] = {types.findTypeByFormat(f.shellObjectOffsets),
                                   types.findTypeByFormat(f.shellIdList),
                                   types.findTypeByFormat(f.preferredDropEffect)};

    auto dlg = open(2);
    auto* grid = child<QTableWidget>(dlg.get(), "formats");
    EXPECT_EQ(rowOf(grid, *locale), -1);
    for (const cb::ItemType* s : shell) EXPECT_EQ(rowOf(grid, *s), -1);
    const int textRow = rowOf(grid, *text), filesRow = rowOf(grid, *files);
    ASSERT_GE(textRow, 0);
    ASSERT_GE(filesRow, 0);
    grid->item(textRow, 1)->setCheckState(Qt::Unchecked);
    grid->item(filesRow, 2)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(pressOk(*dlg), "");

    const cmn::option<int>& o = config.options();
    EXPECT_FALSE(cb::isRecorded(platform::CF_UNICODETEXT, o));
    EXPECT_FALSE(cb::isRecorded(platform::CF_LOCALE, o));
    EXPECT_TRUE(cb::isPasted(platform::CF_UNICODETEXT, o));
    EXPECT_TRUE(cb::isRecorded(platform::CF_HDROP, o));
    EXPECT_FALSE(cb::isPasted(platform::CF_HDROP, o));
    for (const cb::ItemType* s : shell) EXPECT_FALSE(cb::isPasted(s->format(), o));
}

TEST_F(OptionDlgTest, OnlyPagesThatWereShownWrite) {
    config.excludedPrograms() = {"/usr/bin/keepass"};
    TrustedClientList clients;
    clients.clients.emplace_back("pc", "ann", "Work");
    config.setTrustedClients(clients);
    config.options().setText(kOptServerPort, "");  // shows as 0, which the page would write
    const cmn::option<int> before = [&] {
        cmn::option<int> o;
        o.entries() = config.options().entries();
        return o;
    }();

    auto dlg = open(0);
    EXPECT_EQ(pressOk(*dlg), "");
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    for (const auto& [key, value] : before.entries()) {
        const bool general = key <= 6 || key == 20 || key == 25 || key == 26 ||
                             (key >= 34 && key <= 40);
        if (!general) {
            EXPECT_EQ(config.options().entries().at(key), value) << "option " << key;
        }
    }
    EXPECT_EQ(config.excludedPrograms(), std::vector<std::string>{"/usr/bin/keepass"});
    EXPECT_EQ(config.trustedClientsCopy().clients.size(), 1u);
    EXPECT_EQ(receiverUpdates, 0);
}

TEST_F(OptionDlgTest, CancelWritesNothing) {
    auto dlg = open(0);
    child<QLineEdit>(dlg.get(), "popupKey")->setText("Z");
    dlg->pages()->setCurrentIndex(3);
    dlg->reject();
    EXPECT_EQ(config.getChar(kOptPopupShortcutKey, 0), 'V');
    EXPECT_EQ(receiverUpdates, 0);
}

TEST_F(OptionDlgTest, ExcludedProgramsAreAddedFromRunningProgramsAndRemoved) {
    QTemporaryDir dir;
    const QString editor = dir.filePath("editor"), shell = dir.filePath("shell");
    for (const QString& p : {editor, shell}) QDir().mkpath(p);
    const std::string editorPath = dialogs::toUtf8(editor), shellPath = dialogs::toUtf8(shell);
    config.excludedPrograms() = {shellPath};
    // Two windows of one process, one of another process running the same program, one whose
    // program is already excluded, one whose program is unknown.
    programs.windows = {{10, editorPath}, {10, editorPath}, {11, editorPath}, {12, shellPath},
                        {13, ""}};

    auto dlg = open(3);
    auto* add = child<QPushButton>(dlg.get(), "addProgram");
    auto* remove = child<QPushButton>(dlg.get(), "removeProgram");
    EXPECT_FALSE(remove->isEnabled());

    QStringList offered;
    bool okForMissing = true;
    ASSERT_TRUE(withNextModal([&] { add->click(); }, [&](QWidget* w) {
        auto* list = child<QListWidget>(w, "runningPrograms");
        for (int i = 0; i < list->count(); ++i) offered << list->item(i)->text();
        auto* path = child<QLineEdit>(w, "applicationPath");
        auto* ok = w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        path->setText(dir.filePath("missing"));
        okForMissing = ok->isEnabled();
        list->setCurrentRow(0);
        emit list->itemClicked(list->item(0));
        ASSERT_EQ(path->text(), editor);
        ASSERT_TRUE(ok->isEnabled());
        ok->click();
    }));
    EXPECT_EQ(offered, QStringList{editor});
    EXPECT_FALSE(okForMissing);

    auto* rows = child<QListWidget>(dlg.get(), "excludedPrograms");
    ASSERT_EQ(rows->count(), 2);
    rows->setCurrentRow(0);
    EXPECT_TRUE(remove->isEnabled());
    remove->click();
    EXPECT_EQ(pressOk(*dlg), "");
    EXPECT_EQ(config.excludedPrograms(), std::vector<std::string>{editorPath});
}

}  // namespace
