#include "app/NotebookListModel.h"

#include "platform/foundation/Localization.h"

NotebookListModel::NotebookListModel(QObject* parent) : QAbstractTableModel(parent) {}

void NotebookListModel::insertObject(const NotebookRecord& record, qsizetype index) {
    beginInsertRows(QModelIndex(), int(index), int(index));
    records_.insert(index, record);
    endInsertRows();
}

void NotebookListModel::removeObjectFromNotebooksAtIndex(qsizetype index) {
    beginRemoveRows(QModelIndex(), int(index), int(index));
    records_.removeAt(index);
    endRemoveRows();
}

void NotebookListModel::replaceObjectInNotebooksAtIndex(qsizetype index,
                                                        const NotebookRecord& record) {
    records_[index] = record;
    emit dataChanged(this->index(int(index), 0), this->index(int(index), ColumnCount - 1));
}

int NotebookListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(records_.size());
}

int NotebookListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NotebookListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= records_.size()) return QVariant();
    const NotebookRecord& record = records_[index.row()];
    switch (index.column()) {
        case ImportColumn:
            if (role == Qt::CheckStateRole) return record.import ? Qt::Checked : Qt::Unchecked;
            if (role == Qt::AccessibleTextRole) return record.name;
            break;
        case NameColumn:
            if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return record.name;
            break;
        case NotesColumn:
            if (role == Qt::DisplayRole)
                return QVariant::fromValue(qulonglong(record.numberOfNotes));
            if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
            break;
        default:
            break;
    }
    return QVariant();
}

bool NotebookListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != ImportColumn || role != Qt::CheckStateRole)
        return false;
    records_[index.row()].import = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags NotebookListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Never selectable; only the check box reacts to the mouse.
    if (index.column() == ImportColumn) return Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
    return Qt::ItemIsEnabled;
}

QVariant NotebookListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return QVariant();
    if (role == Qt::UserRole && section == ImportColumn) return kImportColumnIdentifier;
    if (role != Qt::DisplayRole) return QVariant();
    switch (section) {
        case ImportColumn:
            return localizedString("Import");
        case NameColumn:
            return localizedString("Notebook");
        case NotesColumn:
            return localizedString("Notes");
        default:
            return QVariant();
    }
}
