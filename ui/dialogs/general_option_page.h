#pragma once

#include "ui/dialogs/option_page.h"

class AppConfig;
class QCheckBox;
class QLineEdit;

// "General": the popup and floating-window shortcuts and the start-up and capture switches.
class GeneralOptionPage : public OptionPage {
    Q_OBJECT
public:
    explicit GeneralOptionPage(AppConfig& config, QWidget* parent = nullptr);

    bool validate() override;
    void apply() override;

protected:
    void initialize() override;

private:

    AppConfig& config_;
    QCheckBox* popupEnabled_;
    QCheckBox* popupWin_;
    QCheckBox* popupCtrl_;
    QCheckBox* popupAlt_;
    QLineEdit* popupKey_;
    QLineEdit* plainTextKey_;
    QCheckBox* floatingEnabled_;
    QCheckBox* floatingWin_;
    QCheckBox* floatingCtrl_;
    QCheckBox* floatingAlt_;
    QCheckBox* checkNewVersion_;
    QCheckBox* startWithComputer_;
    QCheckBox* allowDuplicates_;
    QCheckBox* saveRecords_;
    QCheckBox* autoPosition_;
    QCheckBox* selectFirst_;
    QCheckBox* replaceIdentical_;
};
