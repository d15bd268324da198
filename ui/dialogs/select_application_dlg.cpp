#include "ui/dialogs/select_application_dlg.h"

#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/running_programs.h"

namespace {
constexpr int kProcessIdRole = Qt::UserRole;
}

SelectApplicationDlg::SelectApplicationDlg(const QString& initialPath,
                                           std::vector<std::string> excluded,
                                           RunningPrograms& programs, QWidget* owner)
    : QDialog(owner) {
    setWindowTitle(QStringLiteral("Select Application"));
    auto* prompt = new QLabel(QStringLiteral("Select an application from the list\nYou can also "
                                             "key in the full path of the application yourself"),
                              this);
    pathEdit_ = new QLineEdit(initialPath, this);
    pathEdit_->setObjectName(QStringLiteral("applicationPath"));
    pathEdit_->setAccessibleName(QStringLiteral("Application Path"));
    prompt->setBuddy(pathEdit_);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("runningPrograms"));
    list_->setAccessibleName(QStringLiteral("Application Path"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton_ = buttons->button(QDialogButtonBox::Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(pathEdit_);
    layout->addWidget(list_);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(pathEdit_, &QLineEdit::textChanged, this, &SelectApplicationDlg::updateOk);
    connect(list_, &QListWidget::itemClicked, this, [this] {
        if (QListWidgetItem* item = list_->currentItem(); item && item->isSelected())
            pathEdit_->setText(item->text());
    });

    fillFromDesktop(programs, excluded);
    updateOk();
}

void SelectApplicationDlg::fillFromDesktop(RunningPrograms& programs,
                                           const std::vector<std::string>& excluded) {
    std::set<pid_t> seenProcesses;
    std::set<std::string> shownPaths;
    QFileIconProvider icons;
    for (const RunningPrograms::Window& window : programs.topLevelWindows()) {
        if (!seenProcesses.insert(window.processId).second) continue;
        const std::string& path = window.executablePath;
        if (path.empty()) continue;
        if (std::find(excluded.begin(), excluded.end(), path) != excluded.end()) continue;
        if (!shownPaths.insert(path).second) continue;
        const QString text = dialogs::fromUtf8(path);
        auto* item = new QListWidgetItem(icons.icon(QFileInfo(text)), text, list_);
        item->setData(kProcessIdRole, static_cast<qlonglong>(window.processId));
    }
}

void SelectApplicationDlg::updateOk() {
    const QString text = pathEdit_->text();
    okButton_->setEnabled(!text.isEmpty() && QFileInfo::exists(text));
}

QString SelectApplicationDlg::path() const { return pathEdit_->text(); }
