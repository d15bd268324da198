#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "model/record.h"
#include "ui/views/item_view.h"

class QTabBar;

namespace cb {
class DataObject;
}

// The items of the record selected in the main window: one tab per item the program can show
// (plain text, rich text, picture), in the order of the item types, the tabs at the bottom.
class RecordViewer final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStripHeight = 20;

    explicit RecordViewer(QWidget* parent = nullptr);
    ~RecordViewer() override;

    // Shows the record's items; the record already shown changes nothing; null empties the
    // viewer.
    void setRecord(const cb::RecordPtr& record);
    const cb::RecordPtr& record() const { return record_; }

    QTabBar& tabBar() const { return *tabs_; }
    QStringList tabCaptions() const;
    // The view of each registry entry, in registry order, and the one shown.
    const std::vector<std::unique_ptr<ItemView>>& views() const { return views_; }
    ItemView* currentView() const { return current_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int tabOfView(size_t view) const;
    void switchToTab(int index);
    void layoutChildren();

    std::vector<const ItemViewType*> types_;
    std::vector<std::unique_ptr<ItemView>> views_;
    QTabBar* tabs_;
    ItemView* current_ = nullptr;
    cb::RecordPtr record_;
};
