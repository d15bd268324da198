#pragma once

#include <vector>

#include "ui/dialogs/option_page.h"

class AppConfig;
class QTableWidget;
namespace cb {
class ItemType;
class ItemTypeRegistry;
}  // namespace cb

// "Formats": which clipboard formats are recorded and which are pasted. Formats that only make
// sense beside another one are not shown and follow it: the locale follows plain text, the
// shell's file formats follow the file list.
class FormatOptionPage : public OptionPage {
    Q_OBJECT
public:
    FormatOptionPage(AppConfig& config, const cb::ItemTypeRegistry& types,
                     QWidget* parent = nullptr);

    bool validate() override { return true; }
    void apply() override;

protected:
    void initialize() override;

private:
    AppConfig& config_;
    const cb::ItemTypeRegistry& types_;
    QTableWidget* grid_;
    std::vector<const cb::ItemType*> rows_;
};
