// ENEXWriter: writes an ENEX export note by note onto a device, so that the
// size of the export never matters: only the note being written is in memory.
// The layout follows the current desktop client (export4 document type, child
// order title, created, updated, tags, note-attributes, content, resources);
// resource data is base64 wrapped at 76 columns.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include "bench/SyntheticAttachment.h"
#include "platform/foundation/Error.h"

class QIODevice;

// One note as the writer takes it. `title`, `tags` and `body` are UTF-8 that is
// already valid XML text (markup characters escaped); `body` is the inside of
// en-note and never holds "]]>".
struct SyntheticNote {
    QByteArray title;
    QDateTime created;
    QDateTime updated;
    QList<QByteArray> tags;
    QByteArray body;
    QList<SyntheticAttachment> attachments;
};

class ENEXWriter {
  public:
    // Writes onto `device`, which must be open for writing and outlive the writer.
    explicit ENEXWriter(QIODevice& device);

    // The XML declaration, document type and en-export start tag.
    bool writeHeader(const QDateTime& exportDate);
    // One complete note element with its resources.
    bool writeNote(const SyntheticNote& note);
    // The en-export end tag.
    bool writeFooter();

    // Each write returns false once any write has failed; error() then says
    // why (domain "EnexGenerator", code 1, the device's message).
    const Error& error() const { return error_; }
    qint64 bytesWritten() const { return bytesWritten_; }

    // `bytes` in base64, 76 columns a line, each line ending in a newline.
    static QByteArray wrappedBase64(const QByteArray& bytes);
    // The export's date form: 20240601T120000Z (UTC).
    static QByteArray timestamp(const QDateTime& time);

  private:
    bool write(const QByteArray& bytes);
    bool writeResource(const SyntheticAttachment& attachment);

    QIODevice& device_;
    Error error_;
    qint64 bytesWritten_ = 0;
};
