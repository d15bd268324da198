#include "ui/views/record_list_model.h"

#include <algorithm>

RecordListModel::RecordListModel(cb::RecordList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list), rows_(list.records().begin(), list.records().end()) {
    list_.addObserver(this);
}

RecordListModel::~RecordListModel() { detach(); }

void RecordListModel::detach() {
    if (!attached_) return;
    attached_ = false;
    list_.removeObserver(this);
    beginResetModel();
    rows_.clear();
    endResetModel();
}

cb::RecordPtr RecordListModel::recordAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return rows_[static_cast<size_t>(row)];
}

int RecordListModel::rowOf(const cb::RecordPtr& record) const {
    const auto it = std::find(rows_.begin(), rows_.end(), record);
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QString RecordListModel::displayText(const cb::Record& record) {
    const std::string& utf8 = record.textUtf8();
    // Enough bytes for kDisplayChars characters after trimming leading blanks; a huge text is
    // never converted whole for one row.
    size_t start = 0;
    while (start < utf8.size() && static_cast<unsigned char>(utf8[start]) <= ' ') ++start;
    const size_t take = std::min(utf8.size() - start, size_t{kDisplayChars} * 4);
    QString text = QString::fromUtf8(utf8.data() + start, static_cast<qsizetype>(take));
    if (text.size() > kDisplayChars) text.truncate(kDisplayChars);
    text = text.trimmed();
    // One line: every line break becomes a blank.
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    return text;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    const cb::RecordPtr record = recordAt(index.isValid() ? index.row() : -1);
    if (!record) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return displayText(*record);
    case Qt::ToolTipRole: {
        const std::string& utf8 = record->textUtf8();
        QString tip = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(std::min(
                                                         utf8.size(), size_t{kToolTipChars} * 4)));
        tip.truncate(kToolTipChars);
        return tip;
    }
    case RecordRole:
        return QVariant::fromValue(record);
    case ApplicationRole:
        return QString::fromStdU16String(record->application());
    default:
        return {};
    }
}

Qt::ItemFlags RecordListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

void RecordListModel::recordInserted(const cb::RecordPtr& record) {
    const int index = list_.indexOf(record);
    if (index < 0 || index > static_cast<int>(rows_.size())) {
        recordsReset();
        return;
    }
    beginInsertRows(QModelIndex(), index, index);
    rows_.insert(rows_.begin() + index, record);
    endInsertRows();
    emit rowInserted(index);
}

void RecordListModel::recordRemoved(const cb::RecordPtr& record) {
    const int row = rowOf(record);
    if (row < 0) return;
    emit rowAboutToBeRemoved(row);
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    emit rowRemoved(row);
}

void RecordListModel::recordMovedToFront(size_t oldIndex) {
    const int row = static_cast<int>(oldIndex);
    if (row <= 0 || row >= static_cast<int>(rows_.size())) return;
    beginMoveRows(QModelIndex(), row, row, QModelIndex(), 0);
    std::rotate(rows_.begin(), rows_.begin() + row, rows_.begin() + row + 1);
    endMoveRows();
    emit rowMovedToFront(row);
}

void RecordListModel::recordsCleared() {
    beginResetModel();
    rows_.clear();
    endResetModel();
    emit rowsReset();
}

void RecordListModel::recordsReset() {
    beginResetModel();
    rows_.assign(list_.records().begin(), list_.records().end());
    endResetModel();
    emit rowsReset();
}
