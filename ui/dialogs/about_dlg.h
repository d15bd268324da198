#pragma once

#include <QDialog>

// "About Quillet": the product name and its version.
class AboutDlg : public QDialog {
    Q_OBJECT
public:
    // "4.1.0 - beta 3"
    static QString versionText();

    explicit AboutDlg(QWidget* owner);
};
