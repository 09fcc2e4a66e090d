// The library import description of one run, written as a stream: an XML
// property list "Evernote.pmlibxml" in the staging directory that Pelmora
// reads. Top level "ExporterVersion" (353), "RemoveFileOnCompletion" (the
// staging directory) and "Entities" with "Item" (item identifier → item
// dictionary, its "folder" set to its group) and "Folder" (group identifier →
// group dictionary, its "items" the identifiers of its items in order).
//
// Memory stays flat in the number of items: an item is written when it is
// added, and only its identifier is kept for its group's list. The groups
// are kept (one per notebook) and written when the description is finished.
// Until then the file has a name of its own, so no reader ever takes a
// partial description for a finished one.
//
// Threading: one thread at a time (the run's notebooks never overlap).
#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/plist/PlistValue.h"

// Keys of the description and its group dictionaries (the keys groups share
// with items, such as "identifier", are ItemKeys).
namespace LibraryKeys {
inline const QString Entities = QStringLiteral("Entities");
inline const QString Folder = QStringLiteral("Folder");
inline const QString Item = QStringLiteral("Item");
inline const QString Items = QStringLiteral("items");
inline const QString DescriptionFileName = QStringLiteral("Evernote.pmlibxml");
}  // namespace LibraryKeys

class LibraryImportDescription {
  public:
    LibraryImportDescription();
    // Discards a description that was begun and not finished.
    ~LibraryImportDescription();
    LibraryImportDescription(const LibraryImportDescription&) = delete;
    LibraryImportDescription& operator=(const LibraryImportDescription&) = delete;

    // Starts a new description in `stagingPath` (which it names as the path
    // Pelmora removes on completion). The old one, if any, is discarded.
    bool begin(const QString& stagingPath, Error* error = nullptr);
    // Makes `group` (a group dictionary with its "identifier") part of the
    // description; it is written, as it is then, when the description is
    // finished.
    void addGroup(const PlistDictionary& group);
    // Writes `item` (left unchanged) with its "folder" set to `group`'s
    // identifier, and adds its identifier to the group's list. Error: the
    // file could not be written.
    bool addItem(const PlistDictionary& item, const PlistDictionary& group, Error* error = nullptr);
    // Sets each group's "items", writes the groups and the end, and gives the
    // file its final name; the groups then drop their "items" again, so the
    // lists are not held in memory. Returns the path of the finished description.
    std::optional<QString> finish(Error* error = nullptr);
    // Removes the unfinished file; the run writes no description.
    void discard();

    // Items written since begin().
    qsizetype itemCount() const { return itemCount_; }

  private:
    bool write(const QByteArray& bytes, Error* error);

    QString stagingPath_;
    std::unique_ptr<QFile> file_;
    PlistDictionary groups_;   // identifier → group dictionary
    PlistDictionary itemIds_;  // group identifier → array of item identifiers
    qsizetype itemCount_ = 0;
};
