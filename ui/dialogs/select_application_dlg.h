#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class RunningPrograms;

// "Select Application": picks a program from those with windows on the desktop, or takes a
// path the user types. OK is offered only for a path that exists.
class SelectApplicationDlg : public QDialog {
    Q_OBJECT
public:
    // `excluded`: paths (UTF-8) already in the caller's list; they are not offered again.
    SelectApplicationDlg(const QString& initialPath, std::vector<std::string> excluded,
                         RunningPrograms& programs, QWidget* owner);

    QString path() const;

private:
    void fillFromDesktop(RunningPrograms& programs, const std::vector<std::string>& excluded);
    void updateOk();

    QLineEdit* pathEdit_;
    QListWidget* list_;
    QPushButton* okButton_;
};
