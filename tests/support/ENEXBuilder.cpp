#include "tests/support/ENEXBuilder.h"

#include <QCryptographicHash>

QString TestAttachment::hash() const {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString enMedia(const TestAttachment& a) {
    return QStringLiteral("<en-media hash=\"%1\" type=\"%2\"/>").arg(a.hash(), a.mime);
}

QByteArray buildENEX(const QList<TestNote>& notes) {
    QString out = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE en-export SYSTEM \"http://xml.evernote.com/pub/evernote-export3.dtd\">\n"
        "<en-export export-date=\"20210816T233721Z\" application=\"Evernote\" "
        "version=\"10.17.6\">\n");
    for (const TestNote& note : notes) {
        QString enml = note.enml;
        for (int i = 0; i < note.attachments.size(); ++i)
            enml.replace(QStringLiteral("%MEDIA%1%").arg(i), enMedia(note.attachments[i]));
        out += QStringLiteral(
                   "<note><title>%1</title><content><![CDATA[<?xml version=\"1.0\" "
                   "encoding=\"UTF-8\"?>"
                   "<!DOCTYPE en-note SYSTEM "
                   "\"http://xml.evernote.com/pub/enml2.dtd\"><en-note>%2</en-note>]]></content>")
                   .arg(note.title.toHtmlEscaped(), enml);
        if (!note.created.isEmpty())
            out += QStringLiteral("<created>%1</created>").arg(note.created);
        if (!note.updated.isEmpty())
            out += QStringLiteral("<updated>%1</updated>").arg(note.updated);
        for (const QString& tag : note.tags)
            out += QStringLiteral("<tag>%1</tag>").arg(tag.toHtmlEscaped());
        if (!note.source.isEmpty() || !note.sourceURL.isEmpty()) {
            out += QStringLiteral("<note-attributes>");
            if (!note.source.isEmpty())
                out += QStringLiteral("<source>%1</source>").arg(note.source);
            if (!note.sourceURL.isEmpty())
                out += QStringLiteral("<source-url>%1</source-url>")
                           .arg(note.sourceURL.toHtmlEscaped());
            out += QStringLiteral("</note-attributes>");
        }
        for (const TestAttachment& a : note.attachments) {
            // Wrapped at 76 columns, as exports do.
            QByteArray base64 = a.bytes.toBase64();
            QByteArray wrapped;
            for (qsizetype i = 0; i < base64.size(); i += 76) wrapped += base64.mid(i, 76) + '\n';
            out += QStringLiteral("<resource><data%1>%2</data><mime>%3</mime>")
                       .arg(a.withEncoding ? QStringLiteral(" encoding=\"base64\"") : QString(),
                            QString::fromLatin1(wrapped), a.mime);
            if (!a.fileName.isEmpty())
                out += QStringLiteral(
                           "<resource-attributes><file-name>%1</file-name></resource-attributes>")
                           .arg(a.fileName.toHtmlEscaped());
            out += QStringLiteral("</resource>");
        }
        out += QStringLiteral("</note>\n");
    }
    out += QStringLiteral("</en-export>\n");
    return out.toUtf8();
}
