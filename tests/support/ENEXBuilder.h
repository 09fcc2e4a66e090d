// Builds ENEX text for tests: notes with ENML, tags, dates and attachments
// whose en-media hashes match their bytes.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct TestAttachment {
    QByteArray bytes;
    QString mime;
    QString fileName;
    bool withEncoding = true;
    QString hash() const;  // lower-case MD5 hex of the bytes
};

struct TestNote {
    QString title;
    QString
        enml;  // the inside of <en-note>; "%MEDIA0%" is replaced by the first attachment's en-media
    QStringList tags;
    QString created = QStringLiteral("20130730T205204Z");
    QString updated;
    QString source;
    QString sourceURL;
    QList<TestAttachment> attachments;
};

// A complete ENEX document holding `notes`.
QByteArray buildENEX(const QList<TestNote>& notes);
// The en-media element for an attachment.
QString enMedia(const TestAttachment& attachment);
