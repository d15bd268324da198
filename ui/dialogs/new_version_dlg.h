#pragma once

#include <QDialog>

class QLabel;

// "Quillet - New Version": where to download the newer version the check found.
class NewVersionDlg : public QDialog {
    Q_OBJECT
public:
    NewVersionDlg(const QString& downloadLink, QWidget* owner);

    QString link() const { return link_; }

private:
    QString link_;
};
