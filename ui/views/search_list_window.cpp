#include "ui/views/search_list_window.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLineEdit>

#include "ui/views/record_list_view.h"

SearchListWindow::SearchListWindow(SearchList& list, ViewContext& context, QWidget* parent)
    : RecordListWindow(list, context, parent),
      search_(list),
      edit_(new QLineEdit(this)),
      matchCase_(new QCheckBox(tr("Match case"), this)) {
    edit_->setFrame(false);
    edit_->setAccessibleName(tr("Search text"));
    edit_->setPlaceholderText(tr("Search"));
    matchCase_->setAccessibleName(tr("Match case"));
    criteriaChanged(search_.criteria());
    search_.criteria().addObserver(this);

    timer_.setSingleShot(true);
    timer_.setInterval(kSearchDelayMs);
    connect(&timer_, &QTimer::timeout, this, &SearchListWindow::searchNow);
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (updatingControls_ || detached()) return;
        writeCriteria([&](SearchCriteria& c) { c.setText(text.toStdU16String()); });
    });
    connect(matchCase_, &QCheckBox::toggled, this, [this](bool on) {
        if (updatingControls_ || detached()) return;
        writeCriteria([&](SearchCriteria& c) { c.setMatchCase(on); });
    });
    setFocusProxy(edit_);
}

SearchListWindow::~SearchListWindow() {
    if (!detached()) search_.criteria().removeObserver(this);
}

void SearchListWindow::detachFromList() {
    if (detached()) return;
    search_.criteria().removeObserver(this);
    timer_.stop();
    RecordListWindow::detachFromList();
}

void SearchListWindow::writeCriteria(const std::function<void(SearchCriteria&)>& change) {
    // Other windows showing this search hear of the change; this one does not hear its own.
    search_.criteria().removeObserver(this);
    change(search_.criteria());
    search_.criteria().addObserver(this);
    timer_.start();
}

void SearchListWindow::criteriaChanged(const SearchCriteria& criteria) {
    updatingControls_ = true;
    const QString text = QString::fromStdU16String(criteria.text());
    if (edit_->text() != text) edit_->setText(text);
    matchCase_->setChecked(criteria.matchCase());
    updatingControls_ = false;
}

void SearchListWindow::searchNow() {
    timer_.stop();
    if (detached()) return;
    search_.refresh(context().history);
    emit searched();
}

void SearchListWindow::layoutChildren() {
    const int w = width();
    const int h = height();
    edit_->setGeometry(QRect(QPoint(3, 3), QPoint(w - 3, 21) - QPoint(1, 1)));
    matchCase_->setGeometry(QRect(QPoint(3, 24), QPoint(w - 3, 42) - QPoint(1, 1)));
    view().setGeometry(QRect(QPoint(0, 45), QPoint(w, h) - QPoint(1, 1)));
}
