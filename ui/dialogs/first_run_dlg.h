#pragma once

#include <QDialog>

class AppConfig;
class QCheckBox;

// Asked once, on the first start: may the program look for new versions?
class FirstRunDlg : public QDialog {
    Q_OBJECT
public:
    FirstRunDlg(AppConfig& config, QWidget* owner);
    void accept() override;

private:
    AppConfig& config_;
    QCheckBox* checkNewVersion_;
};
