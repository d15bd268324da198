#include "ui/dialogs/format_option_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/item_type.h"
#include "persist/config/app_config.h"
#include "platform/clipboard_formats.h"
#include "ui/dialogs/dialog_support.h"

namespace {

constexpr int kRecordColumn = 1;
constexpr int kPasteColumn = 2;

bool isCompanionFormat(platform::ClipFormat format) {
    const platform::RegisteredFormats& f = platform::registeredFormats();
    return format == f.quilletTag || format == platform::CF_LOCALE ||
           format == f.shellObjectOffsets || format == f.shellIdList ||
           format == f.preferredDropEffect;
}

// The hidden formats that are recorded and pasted exactly when `format` is.
std::vector<platform::ClipFormat> companionsOf(platform::ClipFormat format) {
    const platform::RegisteredFormats& f = platform::registeredFormats();
    if (format == platform::CF_UNICODETEXT) return {platform::CF_LOCALE};
    if (format == platform::CF_HDROP)
        return {f.shellObjectOffsets, f.shellIdList, f.preferredDropEffect};
    return {};
}

QTableWidgetItem* checkItem(bool checked, const QString& accessibleName) {
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setData(Qt::AccessibleTextRole, accessibleName);
    return item;
}

}  // namespace

FormatOptionPage::FormatOptionPage(AppConfig& config, const cb::ItemTypeRegistry& types,
                                   QWidget* parent)
    : OptionPage(parent), config_(config), types_(types) {
    auto* label = new QLabel(QStringLiteral("Record/Paste the following formats:"), this);
    grid_ = new QTableWidget(0, 3, this);
    grid_->setObjectName(QStringLiteral("formats"));
    grid_->setAccessibleName(QStringLiteral("Record/Paste the following formats:"));
    label->setBuddy(grid_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(grid_);
}

void FormatOptionPage::initialize() {
    grid_->setHorizontalHeaderLabels(
        {QStringLiteral("Format"), QStringLiteral("Record"), QStringLiteral("Paste")});
    grid_->setColumnWidth(0, 200);
    grid_->setColumnWidth(kRecordColumn, 80);
    grid_->setColumnWidth(kPasteColumn, 70);
    grid_->verticalHeader()->hide();
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    const cmn::option<int>& options = config_.options();
    for (const cb::ItemType* type : types_) {
        if (isCompanionFormat(type->format())) continue;
        const int row = grid_->rowCount();
        grid_->insertRow(row);
        const QString name = dialogs::fromU16(type->displayName());
        auto* nameItem = new QTableWidgetItem(name);
        nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid_->setItem(row, 0, nameItem);
        grid_->setItem(row, kRecordColumn,
                       checkItem(options.getBool(type->recordOptionKey(), false),
                                 name + QStringLiteral(": Record")));
        grid_->setItem(row, kPasteColumn,
                       checkItem(!options.getBool(type->pasteExclusionKey(), false),
                                 name + QStringLiteral(": Paste")));
        rows_.push_back(type);
    }
}

void FormatOptionPage::apply() {
    cmn::option<int>& options = config_.options();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const int row = static_cast<int>(i);
        const bool recorded = grid_->item(row, kRecordColumn)->checkState() == Qt::Checked;
        const bool pasted = grid_->item(row, kPasteColumn)->checkState() == Qt::Checked;
        cb::setRecorded(*rows_[i], recorded, options);
        cb::setPasted(*rows_[i], pasted, options);
        for (platform::ClipFormat companion : companionsOf(rows_[i]->format())) {
            if (const cb::ItemType* type = types_.findTypeByFormat(companion)) {
                cb::setRecorded(*type, recorded, options);
                cb::setPasted(*type, pasted, options);
            }
        }
    }
}
