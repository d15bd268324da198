#include "ui/dialogs/option_page.h"

void OptionPage::showEvent(QShowEvent* event) {
    if (!initialized_) {
        initialized_ = true;
        initialize();
    }
    QWidget::showEvent(event);
}
