#include "ui/dialogs/advanced_option_page.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "persist/config/app_config.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/select_application_dlg.h"

AdvancedOptionPage::AdvancedOptionPage(AppConfig& config, RunningPrograms& programs,
                                       QWidget* parent)
    : OptionPage(parent), config_(config), programs_(programs) {
    auto* group =
        new QGroupBox(QStringLiteral("Exclude clips from the following programs"), this);
    list_ = new QListWidget(group);
    list_->setObjectName(QStringLiteral("excludedPrograms"));
    list_->setAccessibleName(QStringLiteral("Application Path"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    addButton_ = new QPushButton(QStringLiteral("Add"), group);
    addButton_->setObjectName(QStringLiteral("addProgram"));
    removeButton_ = new QPushButton(QStringLiteral("Remove"), group);
    removeButton_->setObjectName(QStringLiteral("removeProgram"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(removeButton_);
    buttons->addStretch();
    auto* row = new QHBoxLayout(group);
    row->addWidget(list_);
    row->addLayout(buttons);
    auto* page = new QVBoxLayout(this);
    page->addWidget(group);
    page->addStretch();

    connect(addButton_, &QPushButton::clicked, this, &AdvancedOptionPage::add);
    connect(removeButton_, &QPushButton::clicked, this, &AdvancedOptionPage::remove);
    connect(list_, &QListWidget::itemSelectionChanged, this, &AdvancedOptionPage::updateButtons);
}

void AdvancedOptionPage::initialize() {
    paths_.clear();
    for (const std::string& path : config_.excludedPrograms()) addRow(path);
    updateButtons();
}

void AdvancedOptionPage::addRow(const std::string& path) {
    const QString text = dialogs::fromUtf8(path);
    static QFileIconProvider icons;
    auto* item = new QListWidgetItem(icons.icon(QFileInfo(text)), text, list_);
    item->setToolTip(text);
    paths_.push_back(path);
}

void AdvancedOptionPage::updateButtons() {
    addButton_->setEnabled(true);
    removeButton_->setEnabled(!list_->selectedItems().isEmpty());
}

void AdvancedOptionPage::add() {
    std::vector<std::string> excluded = paths_;
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : window();
    SelectApplicationDlg dialog(QString(), std::move(excluded), programs_, owner);
    if (dialog.exec() != QDialog::Accepted) return;
    const QString chosen = dialog.path();
    if (!QFileInfo::exists(chosen)) return;
    // A path already in the list is added again: harmless, and what the user asked for.
    addRow(dialogs::toUtf8(chosen));
    updateButtons();
}

void AdvancedOptionPage::remove() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(paths_.size()) || list_->selectedItems().isEmpty())
        return;
    paths_.erase(paths_.begin() + row);
    delete list_->takeItem(row);
    updateButtons();
}

void AdvancedOptionPage::apply() { config_.excludedPrograms() = paths_; }
