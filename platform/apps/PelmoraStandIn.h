// The stand-in for the Pelmora application on Linux. Its import reads a
// library import description ("Evernote.pmlibxml"), checks it, moves every
// group and item into its library folder (groups as folders, items as files
// or packages, dates and tags kept), records them in the library's SQLite
// index "Library.sqlite" (an item whose description gives no dates takes
// those of its file: the modification time and the creation-date attribute of
// FileResourceValues), and removes the
// "RemoveFileOnCompletion" path once every item has been taken. An item whose
// file is missing or cannot be moved, whose group folder cannot be made, whose
// index entry cannot be written, or a group naming an item the description
// does not hold, is refused with a log line on standard error (which an import
// run sends into its log) and stays where it is; the
// "RemoveFileOnCompletion" path is then kept. The rest is imported. When the
// index cannot be opened or saved, the import fails as a whole and the items
// are moved back where they came from.
//
// Errors (domain "PelmoraStandInErrorDomain"): 1 the description has no
// entities, 2 the library folder cannot be created, 3 the index cannot be
// opened, 4 an unsupported import method, 5 the index cannot be saved, 7 the
// index comes from a newer version; an unreadable description gives the
// property-list error.
//
// The index lists exactly the files of the library: an item whose identifier
// the index already gives to a file that is still there keeps both files, the
// new one recorded under a fresh identifier (with a log line naming both).
// Each item keeps the note's "evernoteFingerprint" and "evernoteNoteKey" in
// indexed columns (PelmoraStandInLibraryQuery); an index made before them
// gets the columns with the next import.
//
// Item links (PelmoraApplication::itemLinkURL) lead to the item the index
// holds under that identifier, at the path where the import filed it.
//
// The library folder is the "PelmoraLibraryPath" of the application's
// Info.plist, else $XDG_DATA_HOME/Pelmora 3/Library; setLibraryPathOverride()
// names another one (the command line's --library).
#pragma once

#include <optional>

#include "platform/apps/PelmoraApplication.h"
#include "platform/foundation/Error.h"
#include "platform/plist/PlistValue.h"

class PelmoraStandIn : public PelmoraApplication {
  public:
    explicit PelmoraStandIn(ApplicationRecord record);
    // The built-in edition offered when no Pelmora is installed.
    static std::shared_ptr<PelmoraStandIn> builtIn();
    static constexpr const char* kBuiltInVersion = "3.6.0";

    static void setLibraryPathOverride(const QString& path);
    QString libraryPath() const override;

    QString bundleIdentifier() const override { return record_.bundleIdentifier(); }
    QString version() const override { return record_.version(); }
    void activate() override;
    PelmoraImportResult importFiles(const QStringList& files, quint32 method,
                                    const QString& destination, int rating, const QString& comments,
                                    int label, const QString& tags) override;

    // Imports one description and says what the library took (see above).
    // importFiles() calls it for each file and logs the outcome.
    PelmoraImportResult importDescription(const QString& path);
    // The library's index as a query (PelmoraStandInLibraryQuery).
    std::unique_ptr<PelmoraLibraryQuery> openLibraryQuery(Error* error = nullptr) override;

    // The file or package that the item link `link` leads to in the library,
    // or nullopt when the index holds no such item (or `link` is no item
    // link); with the index's error when it cannot be read.
    std::optional<QString> pathOfLinkedItem(const QUrl& link, Error* error = nullptr) const;

  private:
    ApplicationRecord record_;
};
