#include "bench/ENEXWriter.h"

#include <QIODevice>

namespace {

constexpr qsizetype kBase64LineBytes = 57;  // 57 bytes make one 76-column line
constexpr qsizetype kBase64BlockLines = 1024;

}  // namespace

ENEXWriter::ENEXWriter(QIODevice& device) : device_(device) {}

bool ENEXWriter::write(const QByteArray& bytes) {
    if (error_) return false;
    if (device_.write(bytes) != bytes.size()) {
        error_ = Error(QStringLiteral("EnexGenerator"), 1,
                       QStringLiteral("Could not write the export: %1").arg(device_.errorString()));
        return false;
    }
    bytesWritten_ += bytes.size();
    return true;
}

QByteArray ENEXWriter::timestamp(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

bool ENEXWriter::writeHeader(const QDateTime& exportDate) {
    return write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE en-export SYSTEM \"http://xml.evernote.com/pub/evernote-export4.dtd\">\n"
        "<en-export export-date=\"" +
        timestamp(exportDate) + "\" application=\"Evernote\" version=\"10.17.6\">\n");
}

bool ENEXWriter::writeNote(const SyntheticNote& note) {
    QByteArray head = "  <note>\n    <title>" + note.title + "</title>\n";
    if (note.created.isValid()) head += "    <created>" + timestamp(note.created) + "</created>\n";
    if (note.updated.isValid()) head += "    <updated>" + timestamp(note.updated) + "</updated>\n";
    for (const QByteArray& tag : note.tags) head += "    <tag>" + tag + "</tag>\n";
    head +=
        "    <note-attributes>\n    </note-attributes>\n    <content>\n      <![CDATA[<?xml "
        "version=\"1.0\" "
        "encoding=\"UTF-8\" standalone=\"no\"?>\n<!DOCTYPE en-note SYSTEM "
        "\"http://xml.evernote.com/pub/enml2.dtd\"><en-note>";
    if (!write(head) || !write(note.body) || !write("</en-note>]]>\n    </content>\n"))
        return false;
    for (const SyntheticAttachment& attachment : note.attachments)
        if (!writeResource(attachment)) return false;
    return write("  </note>\n");
}

bool ENEXWriter::writeResource(const SyntheticAttachment& attachment) {
    if (!write("    <resource>\n      <data encoding=\"base64\">\n")) return false;
    // Encoded a block at a time: the base64 of a large attachment is never whole in memory.
    const QByteArray& bytes = attachment.bytes();
    constexpr qsizetype kBlock = kBase64LineBytes * kBase64BlockLines;
    for (qsizetype offset = 0; offset < bytes.size(); offset += kBlock)
        if (!write(wrappedBase64(QByteArray::fromRawData(bytes.constData() + offset,
                                                         std::min(kBlock, bytes.size() - offset)))))
            return false;
    QByteArray tail = "      </data>\n      <mime>" + attachment.mime().toLatin1() + "</mime>\n";
    if (attachment.width() > 0)
        tail += "      <width>" + QByteArray::number(attachment.width()) +
                "</width>\n      <height>" + QByteArray::number(attachment.height()) +
                "</height>\n";
    if (!attachment.fileName().isEmpty())
        tail += "      <resource-attributes>\n        <file-name>" +
                attachment.fileName().toHtmlEscaped().toUtf8() +
                "</file-name>\n      </resource-attributes>\n";
    return write(tail + "    </resource>\n");
}

bool ENEXWriter::writeFooter() { return write("</en-export>\n"); }

QByteArray ENEXWriter::wrappedBase64(const QByteArray& bytes) {
    const QByteArray encoded = bytes.toBase64();
    constexpr qsizetype kColumns = 76;
    QByteArray wrapped;
    wrapped.reserve(encoded.size() + encoded.size() / kColumns + 1);
    for (qsizetype i = 0; i < encoded.size(); i += kColumns) {
        wrapped.append(encoded.constData() + i, std::min(kColumns, encoded.size() - i));
        wrapped.append('\n');
    }
    return wrapped;
}
