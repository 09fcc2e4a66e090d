#include "enex/EvernoteNoteFingerprint.h"

#include <QCryptographicHash>
#include <QDateTime>

#include "enex/EvernoteNoteRecord.h"

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void addField(QCryptographicHash& hash, const QByteArray& field) {
    hash.addData(QByteArray::number(field.size()) + ':');
    hash.addData(field);
}

QByteArray dateField(const QDateTime& date) {
    return date.isValid() ? date.toUTC().toString(Qt::ISODate).toUtf8() : QByteArray();
}

QString hexOf(const QCryptographicHash& hash) { return QString::fromLatin1(hash.result().toHex()); }

}  // namespace

QString EvernoteNoteFingerprint::normalizedTitle(const QString& title) {
    return title.simplified();
}

QByteArray EvernoteNoteFingerprint::normalizedContent(const QByteArray& content) {
    QByteArray result;
    result.reserve(content.size());
    const qsizetype size = content.size();
    qsizetype i = 0;
    while (i < size) {
        if (!isWhiteSpace(content[i])) {
            result.append(content[i++]);
            continue;
        }
        qsizetype end = i;
        while (end < size && isWhiteSpace(content[end])) ++end;
        // A run alone between two tags is layout; any other run reads as one space.
        const bool betweenTags =
            !result.isEmpty() && result.back() == '>' && end < size && content[end] == '<';
        const bool atEdge = result.isEmpty() || end == size;
        if (!betweenTags && !atEdge) result.append(' ');
        i = end;
    }
    return result;
}

EvernoteNoteFingerprint EvernoteNoteFingerprint::ofFields(const QString& title,
                                                          const QDateTime& created,
                                                          const QByteArray& contentDigests) {
    const QByteArray titleField = normalizedTitle(title).toUtf8();
    const QByteArray createdField = dateField(created);
    QCryptographicHash key(QCryptographicHash::Sha256);
    addField(key, titleField);
    addField(key, createdField);
    QCryptographicHash whole(QCryptographicHash::Sha256);
    addField(whole, titleField);
    addField(whole, createdField);
    addField(whole, contentDigests);
    return {hexOf(whole), hexOf(key)};
}

EvernoteNoteFingerprint EvernoteNoteFingerprint::ofRecord(EvernoteNoteRecord& record) {
    // The content goes in through its own digest, so that the fields stay short.
    QCryptographicHash content(QCryptographicHash::Sha256);
    addField(content, normalizedContent(record.contentData));
    for (const auto& resource : record.resources) {
        // An attachment that cannot be decoded fails the conversion anyway; its
        // place still counts, so that a note never matches one without it.
        const auto digest = resource->md5Hash();
        addField(content, digest ? digest->toLatin1() : QByteArray("?"));
    }
    return ofFields(record.title, record.created, content.result().toHex());
}
