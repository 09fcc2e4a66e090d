// EvernoteHTMLNoteExport: the Evernote stand-in's HTML export of one note, as
// Evernote writes it: a folder holding "Title.html" and, when the note has
// attachments, "Title.resources/" with each attachment under its file name.
//
// The page keeps the note's formatting as HTML: the note's own elements and
// styles are written as they are, an image attachment becomes
// <img src="Title.resources/NAME">, any other attachment a link to its file
// whose text is the file name, a check box an <input type="checkbox">, an
// encrypted passage "********". An attachment that the note's text does not
// show is linked at the end. A note that is nothing but one attachment (its
// only content an en-media, or a div holding one en-media and line breaks)
// gets a body whose only child is that link or image.
//
// Names: the title and every attachment name become one safe file-name
// component (no "/", no control characters, never "." or "..", at most 255
// bytes with the ".resources" extension); attachment names are made unique
// inside the resources folder. Every reference in the page is
// percent-encoded, so it names exactly the written file.
//
// Reads the <note> element it is given (not owned); writes only inside the
// export folder. Reentrant.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include "platform/foundation/Error.h"
#include "platform/xml/XMLNode.h"

class EvernoteHTMLNoteExport {
  public:
    // An export of `note`, a <note> element of an ENEX document.
    explicit EvernoteHTMLNoteExport(XMLNode note);

    // Creates `folder` (with intermediate folders) and writes the export into
    // it. False with the file system's error (or the note content's parse
    // error) when something could not be written.
    bool writeToFolder(const QString& folder, Error* error = nullptr);

    // The base name (without extension) of the export's files for `title`:
    // trimmed, cut at its first line break, "/", ":" and "~" as "-", control
    // characters as "-", a leading "." as "-", "Untitled" when nothing is left.
    static QString baseNameForTitle(const QString& title);
    // An attachment's own name as one file-name component ("Untitled" with
    // the MIME type's extension when it has none).
    static QString fileNameForAttachment(const QString& name, const QString& mime);

  private:
    struct Attachment {
        QByteArray data;
        QString mime;
        QString fileName;  // unique inside the resources folder
        bool shown = false;
    };

    void readAttachments(XMLNode note);
    QString pageForContent(const QString& content, Error* error);
    QString bodyForNote(XMLNode enNote);
    void writeNode(XMLNode node, QString& out);
    void writeElement(XMLNode element, QString& out);
    void writeMedia(XMLNode media, QString& out);
    QString referenceForAttachment(const Attachment& attachment) const;
    QString elementForAttachment(const Attachment& attachment, XMLNode media = {}) const;
    bool writeAttachments(const QString& folder, Error* error) const;

    QString title_;
    QString baseName_;
    QString content_;
    QList<Attachment> attachments_;
    QHash<QString, qsizetype> attachmentByHash_;  // lower-case MD5 hex → index
};
