// The interface to the Evernote application: its version, its notebooks and
// their notes, and exporting notes as ENEX or HTML. Every call is synchronous.
// Export calls run on worker threads; listing calls on the main thread.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>

#include "platform/apps/EvernoteAttributes.h"
#include "platform/apps/Workspace.h"

// Export format codes.
constexpr quint32 kEvernoteExportFormatENEX = fourCharCode("enex");
constexpr quint32 kEvernoteExportFormatHTML = fourCharCode("exht");

// One note as the application lists it.
struct EvernoteNote {
    QString title;
    QStringList tags;
    QDateTime creationDate;
    QDateTime modificationDate;
    QString sourceURL;  // empty when the note has none
    // Every attribute of the note and its attachments, as EvernoteAttributes names them.
    EvernoteAttributeList attributes;
    QString noteLink;
    // Where the note lives, for the application's own use.
    QString notebookPath;
    qsizetype index = -1;  // position among the notebook's notes
};

class EvernoteNotebook {
  public:
    virtual ~EvernoteNotebook() = default;
    virtual QString name() const = 0;
    // The notebook's notes, in their order.
    virtual QList<EvernoteNote> notes() const = 0;
};

class EvernoteApplication {
  public:
    static constexpr const char* kBundleIdentifier = "com.evernote.Evernote";

    // The installed application, or nullptr when Evernote is not installed.
    static std::shared_ptr<EvernoteApplication> applicationWithBundleIdentifier(
        const QString& bundleIdentifier = QString::fromLatin1(kBundleIdentifier));

    virtual ~EvernoteApplication() = default;
    virtual QString version() const = 0;
    // The notebooks; may be empty while the application starts.
    virtual QList<std::shared_ptr<EvernoteNotebook>> notebooks() const = 0;
    virtual void activate() = 0;
    // `export:to:tags:format:`. Writes `notes` to `url`: with the ENEX format one
    // ENEX file holding exactly these notes (their tags kept when `tags`); with
    // the HTML format a folder at `url` holding the first note's "Title.html" and
    // "Title.resources/". Returns after the files are written. ("export" is a
    // C++ keyword, hence the name.)
    virtual void exportNotes(const QList<EvernoteNote>& notes, const QUrl& url, bool tags,
                             quint32 format) = 0;
};
