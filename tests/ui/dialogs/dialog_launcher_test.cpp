#include <QApplication>
#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

#include "model/history.h"
#include "model/item_type.h"
#include "model/record_list.h"
#include "persist/config/app_config.h"
#include "tests/ui/dialogs/modal_helper.h"
#include "ui/common/modal_guard.h"
#include "ui/dialogs/dialog_launcher.h"
#include "ui/dialogs/running_programs.h"

using testing_ui::withNextModal;

namespace {

class NoPrograms : public RunningPrograms {
public:
    std::vector<Window> topLevelWindows() override { return {}; }
};

class DialogLauncherTest : public ::testing::Test {
protected:
    DialogLauncherTest()
        : types(cb::ItemTypeRegistry::standard()),
          guard(&mainWindow),
          launcher(guard, {config, history, types, programs, [this] { ++receiverUpdates; }, {}}) {
        mainWindow.show();
    }

    QWidget mainWindow;
    AppConfig config;
    cb::History history;
    cb::ItemTypeRegistry types;
    NoPrograms programs;
    int receiverUpdates = 0;
    ModalGuard guard;
    DialogLauncher launcher;
};

TEST_F(DialogLauncherTest, OptionsWhileSelectRecordsIsOpenBringsThatDialogForward) {
    cb::RecordList list(u"Default");
    bool optionsOpened = true;
    std::optional<std::vector<cb::RecordPtr>> chosen;
    ASSERT_TRUE(withNextModal(
        [&] { chosen = launcher.selectRecords(list, "Please select the records that will be deleted."); },
        [&](QWidget* selectRecords) {
            EXPECT_EQ(selectRecords->windowTitle(), "Select Records");
            EXPECT_EQ(selectRecords->parentWidget(), &mainWindow);
            optionsOpened = launcher.options();
            EXPECT_EQ(guard.openWindow(), selectRecords);
            EXPECT_EQ(QApplication::activeModalWidget(), selectRecords);
            static_cast<QDialog*>(selectRecords)->reject();
        }));
    EXPECT_FALSE(optionsOpened);
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(guard.isOpen());
}

TEST_F(DialogLauncherTest, OkInTheOptionsAnnouncesTheChange) {
    QSignalSpy applied(&launcher, &DialogLauncher::optionsApplied);
    bool ok = false;
    ASSERT_TRUE(withNextModal([&] { ok = launcher.options(); },
                              [](QWidget* options) { static_cast<QDialog*>(options)->accept(); }));
    EXPECT_TRUE(ok);
    EXPECT_EQ(applied.count(), 1);
    // Only the General page was shown: receiving is left alone.
    EXPECT_EQ(receiverUpdates, 0);
}

}  // namespace
