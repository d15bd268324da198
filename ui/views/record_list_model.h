#pragma once

#include <QAbstractListModel>
#include <vector>

#include "model/record_list.h"

// The rows of one record list, for the list views: row 0 is the front of the list. The model
// follows the list as its observer and keeps its own copy of the record order, so that every
// row change is announced to the views before it takes effect (the list announces removals and
// moves before the change, insertions after it).
class RecordListModel final : public QAbstractListModel, private cb::RecordListObserver {
    Q_OBJECT
public:
    enum Role {
        RecordRole = Qt::UserRole + 1,  // QVariant holding a RecordPtr
        ApplicationRole,                // the source program's path, for the icon
    };
    // Row text and tooltip never hold more than this; a row cannot show more anyway.
    static constexpr int kDisplayChars = 1000;
    static constexpr int kToolTipChars = 600;

    // The list outlives the model.
    explicit RecordListModel(cb::RecordList& list, QObject* parent = nullptr);
    ~RecordListModel() override;

    cb::RecordList& list() const { return list_; }
    // Stops following the list and shows no rows (the list is about to go).
    void detach();
    cb::RecordPtr recordAt(int row) const;
    int rowOf(const cb::RecordPtr& record) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // What a row shows: the text without leading and trailing white space, on one line.
    static QString displayText(const cb::Record& record);

signals:
    // Before a removal takes effect, with the row being removed: lets a view decide where its
    // selection goes.
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowInserted(int row);
    void rowMovedToFront(int oldRow);
    void rowsReset();

private:
    void recordInserted(const cb::RecordPtr& record) override;
    void recordRemoved(const cb::RecordPtr& record) override;
    void recordMovedToFront(size_t oldIndex) override;
    void recordsCleared() override;
    void recordsReset() override;

    cb::RecordList& list_;
    std::vector<cb::RecordPtr> rows_;
    bool attached_ = true;
};

Q_DECLARE_METATYPE(cb::RecordPtr)
