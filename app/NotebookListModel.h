// The list of Evernote notebooks behind the window's table: one record per
// notebook with its check box ("import"), its name and its number of notes.
// Three columns: "Import" (the check box, the only cell that reacts to the
// mouse), the name and the note count. Rows cannot be selected. Sorting is
// the table's (a proxy sorts by name without regard to case); this model
// keeps the order in which records were inserted. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <memory>

#include "platform/apps/EvernoteApplication.h"

struct NotebookRecord {
    QString name;
    bool import = true;  // the check box; marked when the record is made
    std::shared_ptr<EvernoteNotebook> notebook;
    unsigned long numberOfNotes = 0;  // when the list was read
};

class NotebookListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { ImportColumn, NameColumn, NotesColumn, ColumnCount };
    // The identifier of the check-box column.
    static inline const QString kImportColumnIdentifier = QStringLiteral("Import");

    explicit NotebookListModel(QObject* parent = nullptr);

    // Indexed access; every change is announced to the views.
    qsizetype countOfNotebooks() const { return records_.size(); }
    NotebookRecord objectInNotebooksAtIndex(qsizetype index) const { return records_.at(index); }
    void insertObject(const NotebookRecord& record, qsizetype index);
    void removeObjectFromNotebooksAtIndex(qsizetype index);
    void replaceObjectInNotebooksAtIndex(qsizetype index, const NotebookRecord& record);
    QList<NotebookRecord> notebooks() const { return records_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QList<NotebookRecord> records_;
};
