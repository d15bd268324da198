#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/dialogs/option_page.h"

class AppConfig;
class QListWidget;
class QPushButton;
class RunningPrograms;

// "Advanced": the programs whose clipboard data is never recorded.
class AdvancedOptionPage : public OptionPage {
    Q_OBJECT
public:
    AdvancedOptionPage(AppConfig& config, RunningPrograms& programs, QWidget* parent = nullptr);

    bool validate() override { return true; }
    void apply() override;

protected:
    void initialize() override;

private:
    void add();
    void remove();
    void addRow(const std::string& path);
    void updateButtons();

    AppConfig& config_;
    RunningPrograms& programs_;
    std::vector<std::string> paths_;  // rows and entries correspond by index
    QListWidget* list_;
    QPushButton* addButton_;
    QPushButton* removeButton_;
};
