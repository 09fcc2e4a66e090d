// The stand-in for the Pelmora application on Linux. Its import reads a
// library import description ("Evernote.pmlibxml"), checks it, moves every
// group and item into its library folder (groups as folders, items as files
// or packages, modification dates and tags kept), records them in the
// library's SQLite index "Library.sqlite", and removes the
// "RemoveFileOnCompletion" path. An item whose file is missing, or a group
// naming an item the description does not hold, is refused with a log line
// on standard error (which an import run sends into its log); the rest is
// imported.
//
// The library folder is the "PelmoraLibraryPath" of the application's
// Info.plist, else $XDG_DATA_HOME/Pelmora 3/Library; setLibraryPathOverride()
// names another one (the command line's --library).
#pragma once

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
    QString libraryPath() const;

    QString bundleIdentifier() const override { return record_.bundleIdentifier(); }
    QString version() const override { return record_.version(); }
    void activate() override;
    void importFiles(const QStringList& files, quint32 method, const QString& destination, int rating,
                     const QString& comments, int label, const QString& tags) override;

    // Imports one description; returns the number of items imported. Exposed
    // for tests; importFiles() calls it and logs the error.
    std::optional<int> importDescription(const QString& path, Error* error = nullptr);

private:
    ApplicationRecord record_;
};
