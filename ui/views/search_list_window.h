#pragma once

#include <QTimer>

#include "model/search_list.h"
#include "ui/views/record_list_window.h"

class QCheckBox;
class QLineEdit;

// A search list with its search text and "Match case" above the rows. Typing restarts a short
// timer, so that quick typing runs one search after the last keystroke.
class SearchListWindow final : public RecordListWindow, private SearchCriteriaObserver {
    Q_OBJECT
public:
    static constexpr int kSearchDelayMs = 250;

    SearchListWindow(SearchList& list, ViewContext& context, QWidget* parent = nullptr);
    ~SearchListWindow() override;

    QLineEdit& searchEdit() const { return *edit_; }
    QCheckBox& matchCaseBox() const { return *matchCase_; }
    const QTimer& searchTimer() const { return timer_; }
    // Runs the pending search now (what the timer does when it fires).
    void searchNow();
    void detachFromList() override;

signals:
    void searched();

protected:
    void layoutChildren() override;

private:
    void criteriaChanged(const SearchCriteria& criteria) override;
    void writeCriteria(const std::function<void(SearchCriteria&)>& change);

    SearchList& search_;
    QLineEdit* edit_;
    QCheckBox* matchCase_;
    QTimer timer_;
    bool updatingControls_ = false;
};
