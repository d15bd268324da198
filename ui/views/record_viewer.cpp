#include "ui/views/record_viewer.h"

#include <QSignalBlocker>
#include <QTabBar>

#include "model/data_object.h"
#include "model/item_type.h"

RecordViewer::RecordViewer(QWidget* parent)
    : QWidget(parent), types_(itemViewTypes()), tabs_(new QTabBar(this)) {
    setAccessibleName(tr("Record viewer"));
    tabs_->setAccessibleName(tr("Items"));
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    tabs_->setFixedHeight(kStripHeight);
    for (const ItemViewType* type : types_) views_.push_back(type->createView(this));
    connect(tabs_, &QTabBar::currentChanged, this, &RecordViewer::switchToTab);
}

RecordViewer::~RecordViewer() = default;

QStringList RecordViewer::tabCaptions() const {
    QStringList captions;
    for (int i = 0; i < tabs_->count(); ++i) captions << tabs_->tabText(i);
    return captions;
}

int RecordViewer::tabOfView(size_t view) const {
    for (int i = 0; i < tabs_->count(); ++i)
        if (tabs_->tabData(i).toULongLong() == view) return i;
    return -1;
}

void RecordViewer::setRecord(const cb::RecordPtr& record) {
    if (record == record_) return;
    record_ = record;
    // The views copy what they show, so the items live only while they are handed over.
    const std::unique_ptr<cb::DataObject> items = record ? record->rebuildItems(nullptr) : nullptr;

    std::vector<bool> present(views_.size(), false);
    if (items) {
        for (size_t i = 0; i < views_.size(); ++i) {
            if (const cb::Item* item = items->findFirstOf(types_[i]->itemClass())) {
                views_[i]->setItem(item);
                present[i] = true;
            }
        }
    }
    for (int tab = tabs_->count() - 1; tab >= 0; --tab) {
        const size_t view = tabs_->tabData(tab).toULongLong();
        if (!present[view]) {
            views_[view]->viewWindow()->hide();
            if (views_[view].get() == current_) current_ = nullptr;
            tabs_->removeTab(tab);  // the tab that takes its place becomes current
        }
    }
    for (size_t i = 0; i < views_.size(); ++i) {
        if (!present[i] || tabOfView(i) >= 0) continue;
        int before = tabs_->count();
        for (int tab = 0; tab < tabs_->count(); ++tab)
            if (tabs_->tabData(tab).toULongLong() > i) {
                before = tab;
                break;
            }
        const cb::ItemType* type = cb::findTypeByClass(types_[i]->itemClass());
        const QString caption = type ? QString::fromStdU16String(type->displayName()) : QString();
        const int tab = tabs_->insertTab(before, caption);
        tabs_->setTabData(tab, QVariant::fromValue<qulonglong>(i));
    }
    switchToTab(tabs_->currentIndex());
}

void RecordViewer::switchToTab(int index) {
    ItemView* view = nullptr;
    if (index >= 0 && index < tabs_->count())
        view = views_[tabs_->tabData(index).toULongLong()].get();
    if (view == current_) return;
    if (current_) current_->viewWindow()->hide();
    current_ = view;
    if (current_) {
        layoutChildren();
        current_->viewWindow()->show();
    }
}

void RecordViewer::layoutChildren() {
    const int viewHeight = std::max(0, height() - kStripHeight);
    if (current_) current_->viewWindow()->setGeometry(0, 0, width(), viewHeight);
    tabs_->setGeometry(0, viewHeight, width(), kStripHeight);
}

void RecordViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}
