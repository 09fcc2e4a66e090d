// The stand-in for the Evernote application on Linux: a folder of ENEX files,
// one per notebook (the file name without its extension is the notebook's
// name). The folder is the "EvernoteNotebookFolder" of the application's
// Info.plist, unless setNotebookFolderOverride() names another one.
// Notes are exported as ENEX, or one note as HTML in Evernote's form.
// Files are streamed: listing notes and exporting them never loads a whole
// notebook, only one note at a time.
#pragma once

#include "platform/apps/EvernoteApplication.h"
#include "platform/foundation/Error.h"

class EvernoteStandIn : public EvernoteApplication {
  public:
    explicit EvernoteStandIn(ApplicationRecord record);

    // A folder to use instead of the one in Info.plist (the command line's choice).
    static void setNotebookFolderOverride(const QString& folder);
    // Records `folder` as the notebook folder in the Info.plist of the
    // installed stand-in, or, when there is none, installs one
    // ("Evernote.app", version kInstalledVersion) in the first application
    // folder. The error is the file system's or the property list's.
    static bool recordNotebookFolder(const QString& folder, Error* error = nullptr);
    // The version a stand-in installed by recordNotebookFolder reports.
    static constexpr const char* kInstalledVersion = "10.0";
    QString notebookFolder() const;

    QString version() const override;
    QList<std::shared_ptr<EvernoteNotebook>> notebooks() const override;
    void activate() override;
    void exportNotes(const QList<EvernoteNote>& notes, const QUrl& url, bool tags,
                     quint32 format) override;

  private:
    void exportENEX(const QList<EvernoteNote>& notes, const QString& path, bool tags) const;
    // Writes `note` as Evernote's HTML export: a folder at `folder` holding
    // "Title.html" and "Title.resources/" (EvernoteHTMLNoteExport).
    void exportHTML(const EvernoteNote& note, const QString& folder) const;
    ApplicationRecord record_;
};
