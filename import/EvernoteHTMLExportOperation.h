// The import of Evernote notebooks note by note as HTML (the setting
// "UseHTMLExport"): for each note in turn, Evernote exports the note alone as
// HTML into the notebook's "HTML" folder (a folder per note holding the HTML
// file and its "resources" folder), and the note becomes one library item:
//  - a note that is nothing but one attachment (its page's body holds only a
//    link to a file beside it, or only an image) becomes that file, with an
//    item type from the file's type;
//  - every other note becomes a note package: the page read by the HTML
//    importer, each attachment that Evernote wrote as a link whose text is
//    its file name embedded in place of the link, each link to another note
//    of the run led to that note's item (EvernoteNoteLinks), written as RTFD
//    without note attributes.
// Each item is written into the library import description as soon as it is
// made; the group's items never hold an identifier twice.
//
// A note that cannot be found, read or written is logged and skipped, and the
// run goes on; one that fails in a way every later note would (a full disk)
// ends the run. Cancellation is looked at before each note and ends the
// notebook with error 10005 of "EvernoteExport".
//
// Only files inside a note's own export folder ever become items or
// attachments: a link that leads elsewhere (through "..", an absolute path or
// a symbolic link) stays a link.
//
// Threading: every notebook runs inside main(), on the operation's worker
// thread, one note at a time. The HTML importer is reentrant, so the pages are
// read on that thread too: the main thread stays free while a run goes on.
#pragma once

#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>

#include "import/EvernoteExportOperation.h"

// One conversion of an exported page into a note package: what to convert,
// and the answer.
struct EvernoteHTMLConversionRequest {
    QString originalHTMLFilePath;
    QString noteFilePath;  // the package to write
    EvernoteNote originalNote;
    bool success = false;
    Error error;  // when not successful
};

class EvernoteHTMLExportOperation : public EvernoteExportOperation {
  public:
    EvernoteHTMLExportOperation();
    ~EvernoteHTMLExportOperation() override;

    // Examines the exported page at `path`. Sets `isSingleAttachment` when
    // the page's body has exactly one child that is a link (or holds one as
    // its first child) or an image, whose address is not "http…" and names a
    // regular file inside the page's folder; that file's URL goes to
    // `attachmentURL`. Returns false with the parser's error when the page
    // cannot be parsed; true otherwise (also when it is not a single attachment).
    bool exportedNoteAtPath(const QString& path, bool* isSingleAttachment, QUrl* attachmentURL,
                            Error* error = nullptr) const;

    // Converts the page `htmlFile` of `note` into a note package in
    // `directory` (named like the page, made unique there), stamps the
    // note's dates on it, and stores its item dictionary in the description
    // under `folder`'s group. The item, or nullopt with the conversion's error.
    std::optional<PlistDictionary> exportNote(const EvernoteNote& note, const QString& htmlFile,
                                              const QString& directory,
                                              const PlistDictionary& folder,
                                              Error* error = nullptr);

    // Makes `attachmentFile` (left where it is) the item of `note` with
    // `itemType`, stamps the note's dates on it and stores the item in the
    // description. `directory` is not used. Nullopt only when the description
    // cannot be written.
    std::optional<PlistDictionary> exportNote(const EvernoteNote& note, int itemType,
                                              const QString& attachmentFile,
                                              const QString& directory,
                                              const PlistDictionary& folder,
                                              Error* error = nullptr);

    // Reads the request's page with the HTML importer (the operation's text
    // import options), embeds the attachments that the page links from its
    // resources folder, and writes the package (replaced in one step, so a
    // failed write leaves nothing behind). Answers in the request.
    void convertEvernoteToPelmora(EvernoteHTMLConversionRequest& request) const;

    // The item type of an attachment of the type `typeIdentifier`: image 3,
    // movie 5, audio 4, web archive or HTML 7, web location 6, otherwise 2
    // (written to the system log).
    static int itemTypeForAttachmentType(const QString& typeIdentifier);
    // The item identifier of a note: the last path component of its note
    // link, or a fresh UUID when the link has none.
    static QString identifierForNoteLink(const QString& noteLink);

  protected:
    // The note's identifier from its note link, so that links to it lead there.
    QString identifierForIndexedNote(const EvernoteNote& note) const override;
    void performExportForNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                  const QString& notebookFilesPath,
                                  const PlistDictionary& targetFolder) override;

  private:
    // Exports one note and makes its item; false after the notebook has been
    // ended with an error that stops the run.
    bool exportOneNote(const std::shared_ptr<EvernoteNotebook>& notebook, const EvernoteNote& note,
                       const QString& htmlFolder, const QString& notebookFilesPath,
                       const PlistDictionary& group);
    // The first "*.html" file of the export folder, or empty.
    static QString exportedHTMLFile(const QString& exportFolder);
    // The item made from the exported page, or nullopt with the error.
    std::optional<PlistDictionary> itemForExportedPage(const EvernoteNote& note,
                                                       const QString& htmlFile,
                                                       const QString& notebookFilesPath,
                                                       const PlistDictionary& group, Error* error);
    // Common keys of both kinds of item, the item stored in the description.
    std::optional<PlistDictionary> storeItem(PlistDictionary item, const EvernoteNote& note,
                                             const PlistDictionary& folder, Error* error);
    // A note's identifier from its link, or a fresh one when an item of this
    // run already has it (two items under one identifier would lose one).
    QString unusedIdentifierForNote(const EvernoteNote& note);
    void setDatesOnFile(const QString& path, const EvernoteNote& note, bool hideExtension) const;

    // The attachments Evernote wrote beside the page in `exportFolder`: how
    // many, and their bytes.
    static std::pair<qsizetype, qint64> attachmentsOfExport(const QString& exportFolder);
    // Keeps the report's entry of `note`: its item, or why it has none.
    void reportNote(const EvernoteNote& note, std::pair<qsizetype, qint64> attachments,
                    const std::optional<PlistDictionary>& item, const Error& error);

    QSet<QString> storedIdentifiers_;  // touched by the run's thread only
    int reportSource_ = -1;            // the notebook being exported, in the report
};
