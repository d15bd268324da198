#include "ui/dialogs/option_dlg.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/dialogs/advanced_option_page.h"
#include "ui/dialogs/format_option_page.h"
#include "ui/dialogs/general_option_page.h"
#include "ui/dialogs/network_option_page.h"

OptionDlg::OptionDlg(Services services, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Options"));
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("pages"));
    auto addPage = [this](OptionPage* page, const QString& title, const char* name) {
        page->setObjectName(QString::fromLatin1(name));
        tabs_->addTab(page, title);
        pages_.push_back(page);
    };
    addPage(new GeneralOptionPage(services.config), QStringLiteral("General"), "general");
    addPage(new NetworkOptionPage(services.config, services.history,
                                  std::move(services.updateReceiver)),
            QStringLiteral("Network"), "network");
    addPage(new FormatOptionPage(services.config, services.itemTypes), QStringLiteral("Formats"),
            "formats");
    addPage(new AdvancedOptionPage(services.config, services.runningPrograms),
            QStringLiteral("Advanced"), "advanced");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void OptionDlg::accept() {
    for (OptionPage* page : pages_) {
        if (!page->wasShown()) continue;
        if (!page->validate()) {
            // The page with the fault comes forward; its input stays for correction.
            tabs_->setCurrentWidget(page);
            return;
        }
    }
    for (OptionPage* page : pages_)
        if (page->wasShown()) page->apply();
    emit optionsApplied();
    QDialog::accept();
}
