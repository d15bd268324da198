#include "ui/dialogs/general_option_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "persist/config/app_config.h"
#include "ui/dialogs/dialog_support.h"

namespace {

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QLineEdit* makeKeyEdit(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(accessibleName);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")) + 12);
    return edit;
}

QString keyText(char key) { return key ? QString(QChar::fromLatin1(key)) : QString(); }

// One printable ASCII character: what the option stores as one byte and the keyboard can match.
bool isSingleKey(const QString& text) {
    return text.size() == 1 && text[0].unicode() > 0x20 && text[0].unicode() < 0x7F;
}

char storedKey(const QString& text) { return text.toUpper()[0].toLatin1(); }

}  // namespace

GeneralOptionPage::GeneralOptionPage(AppConfig& config, QWidget* parent)
    : OptionPage(parent), config_(config) {
    auto* shortcuts = new QGroupBox(QStringLiteral("Shortcut keys"), this);
    popupEnabled_ = makeCheck(shortcuts, "popupEnabled", QStringLiteral("Popup window"));
    popupWin_ = makeCheck(shortcuts, "popupWin", QStringLiteral("Win +"));
    popupCtrl_ = makeCheck(shortcuts, "popupCtrl", QStringLiteral("Ctrl +"));
    popupAlt_ = makeCheck(shortcuts, "popupAlt", QStringLiteral("Alt +"));
    popupKey_ = makeKeyEdit(shortcuts, "popupKey", QStringLiteral("Popup shortcut key"));
    auto* plainLabel =
        new QLabel(QStringLiteral("Shortcut key that only pastes plain text:"), shortcuts);
    plainTextKey_ = makeKeyEdit(shortcuts, "plainTextKey",
                                QStringLiteral("Shortcut key that only pastes plain text"));
    plainLabel->setBuddy(plainTextKey_);
    floatingEnabled_ = makeCheck(shortcuts, "floatingEnabled", QStringLiteral("Floating window"));
    floatingWin_ = makeCheck(shortcuts, "floatingWin", QStringLiteral("Win +"));
    floatingCtrl_ = makeCheck(shortcuts, "floatingCtrl", QStringLiteral("Ctrl +"));
    floatingAlt_ =
        makeCheck(shortcuts, "floatingAlt", QStringLiteral("Alt + Up/Down/Left/Right/Enter"));

    auto* grid = new QGridLayout(shortcuts);
    grid->addWidget(popupEnabled_, 0, 0, 1, 5);
    auto* popupRow = new QHBoxLayout;
    popupRow->addSpacing(20);
    popupRow->addWidget(popupWin_);
    popupRow->addWidget(popupCtrl_);
    popupRow->addWidget(popupAlt_);
    popupRow->addWidget(popupKey_);
    popupRow->addStretch();
    grid->addLayout(popupRow, 1, 0, 1, 5);
    auto* plainRow = new QHBoxLayout;
    plainRow->addWidget(plainLabel);
    plainRow->addWidget(plainTextKey_);
    plainRow->addStretch();
    grid->addLayout(plainRow, 2, 0, 1, 5);
    grid->addWidget(floatingEnabled_, 3, 0, 1, 5);
    auto* floatingRow = new QHBoxLayout;
    floatingRow->addSpacing(20);
    floatingRow->addWidget(floatingWin_);
    floatingRow->addWidget(floatingCtrl_);
    floatingRow->addWidget(floatingAlt_);
    floatingRow->addStretch();
    grid->addLayout(floatingRow, 4, 0, 1, 5);

    checkNewVersion_ = makeCheck(this, "checkNewVersion",
                                 QStringLiteral("Automatically check for new version"));
    startWithComputer_ = makeCheck(this, "startWithComputer",
                                   QStringLiteral("Start Quillet when computer starts up"));
    allowDuplicates_ = makeCheck(
        this, "allowDuplicates",
        QStringLiteral("Allow duplicated clipboard items from the same application"));
    saveRecords_ = makeCheck(this, "saveRecords", QStringLiteral("Save clipboard records"));
    autoPosition_ =
        makeCheck(this, "autoPosition", QStringLiteral("Auto positioning of popup window"));
    selectFirst_ = makeCheck(this, "selectFirst",
                             QStringLiteral("Select first record when popup window is displayed"));
    replaceIdentical_ = makeCheck(
        this, "replaceIdentical",
        QStringLiteral("Replace the clipboard even if it is identical to the record."));
    // Kept and saved, but not offered.
    replaceIdentical_->setVisible(false);
    // Starting with the desktop session is the session's own setting, not ours to change here.
    startWithComputer_->setEnabled(false);

    auto* page = new QVBoxLayout(this);
    page->addWidget(shortcuts);
    for (QCheckBox* box : {checkNewVersion_, startWithComputer_, allowDuplicates_, saveRecords_,
                           autoPosition_, selectFirst_, replaceIdentical_})
        page->addWidget(box);
    page->addStretch();
}

void GeneralOptionPage::initialize() {
    popupEnabled_->setChecked(config_.getBool(kOptPopupShortcutEnabled));
    popupWin_->setChecked(config_.getBool(kOptPopupShortcutWin));
    popupCtrl_->setChecked(config_.getBool(kOptPopupShortcutCtrl));
    popupAlt_->setChecked(config_.getBool(kOptPopupShortcutAlt));
    popupKey_->setText(keyText(config_.getChar(kOptPopupShortcutKey, 0)));
    plainTextKey_->setText(keyText(config_.getChar(kOptPlainTextShortcutKey, 0)));
    floatingEnabled_->setChecked(config_.getBool(kOptFloatingKeysEnabled));
    floatingWin_->setChecked(config_.getBool(kOptFloatingKeysWin));
    floatingCtrl_->setChecked(config_.getBool(kOptFloatingKeysCtrl));
    floatingAlt_->setChecked(config_.getBool(kOptFloatingKeysAlt));
    checkNewVersion_->setChecked(config_.getBool(kOptCheckForNewVersion));
    allowDuplicates_->setChecked(config_.getBool(kOptAllowDuplicates));
    saveRecords_->setChecked(config_.getBool(kOptSaveRecords));
    autoPosition_->setChecked(config_.getBool(kOptPopupAutoPosition));
    selectFirst_->setChecked(config_.getBool(kOptPopupSelectFirst));
    replaceIdentical_->setChecked(config_.getBool(kOptReplaceIdenticalClipboard, true));

    // Decided once, as the page opens: the modifier boxes of a disabled shortcut stay greyed
    // even when the user switches it on, so that what is shown matches what is in force.
    const bool popup = popupEnabled_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{popupWin_, popupCtrl_, popupAlt_, popupKey_,
                                                      plainTextKey_})
        w->setEnabled(popup);
    const bool floating = floatingEnabled_->isChecked();
    for (QWidget* w : {floatingWin_, floatingCtrl_, floatingAlt_}) w->setEnabled(floating);
}

bool GeneralOptionPage::validate() {
    // Checked whether or not the shortcuts are switched on: what is saved must be usable later.
    if (!isSingleKey(popupKey_->text())) {
        dialogs::showError(this, QStringLiteral("Popup shortcut key must be of one character!"));
        popupKey_->setFocus();
        return false;
    }
    if (!isSingleKey(plainTextKey_->text())) {
        dialogs::showError(this, QStringLiteral("Popup plain text shortcut key must be of one character!"));
        plainTextKey_->setFocus();
        return false;
    }
    const bool win = popupWin_->isChecked(), ctrl = popupCtrl_->isChecked(),
               alt = popupAlt_->isChecked();
    if (!win && ctrl && !alt && storedKey(plainTextKey_->text()) == 'V') {
        dialogs::showError(this, QStringLiteral(
                            "\"Ctrl + V\" is not supported as popup shortcut key for pasting plain text!"));
        plainTextKey_->setFocus();
        return false;
    }
    if (!win && !ctrl && !alt) {
        dialogs::showError(this, QStringLiteral("At least one of \"Win\", \"Ctrl\" or \"Alt\" must be checked "
                                       "for popup shortcut key!"));
        return false;
    }
    if (!floatingWin_->isChecked() && !floatingCtrl_->isChecked() && !floatingAlt_->isChecked()) {
        dialogs::showError(this, QStringLiteral("At least one of \"Win\", \"Ctrl\" or \"Alt\" must be checked "
                                       "for floating shortcut key!"));
        return false;
    }
    return true;
}

void GeneralOptionPage::apply() {
    config_.setBool(kOptPopupShortcutEnabled, popupEnabled_->isChecked());
    config_.setBool(kOptPopupShortcutWin, popupWin_->isChecked());
    config_.setBool(kOptPopupShortcutCtrl, popupCtrl_->isChecked());
    config_.setBool(kOptPopupShortcutAlt, popupAlt_->isChecked());
    config_.setChar(kOptPopupShortcutKey, storedKey(popupKey_->text()));
    config_.setChar(kOptPlainTextShortcutKey, storedKey(plainTextKey_->text()));
    config_.setBool(kOptFloatingKeysEnabled, floatingEnabled_->isChecked());
    config_.setBool(kOptFloatingKeysWin, floatingWin_->isChecked());
    config_.setBool(kOptFloatingKeysCtrl, floatingCtrl_->isChecked());
    config_.setBool(kOptFloatingKeysAlt, floatingAlt_->isChecked());
    config_.setBool(kOptCheckForNewVersion, checkNewVersion_->isChecked());
    config_.setBool(kOptAllowDuplicates, allowDuplicates_->isChecked());
    config_.setBool(kOptSaveRecords, saveRecords_->isChecked());
    config_.setBool(kOptPopupAutoPosition, autoPosition_->isChecked());
    config_.setBool(kOptPopupSelectFirst, selectFirst_->isChecked());
    config_.setBool(kOptReplaceIdenticalClipboard, replaceIdentical_->isChecked());
}
