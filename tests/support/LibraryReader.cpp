#include "tests/support/LibraryReader.h"

#include <sys/xattr.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>

#include "formats/PMNoteAttributes.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/plist/PlistValue.h"

namespace {

QString digestOf(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

std::optional<QByteArray> contentsOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

LibraryItem::Kind kindOfFile(const QFileInfo& info) {
    if (info.isDir() && info.suffix() == PMNoteFile::fileExtension)
        return LibraryItem::Kind::NotePackage;
    if (info.suffix() == QLatin1String("webarchive")) return LibraryItem::Kind::WebArchive;
    return LibraryItem::Kind::File;
}

// Every file of the package but its text and its archived attributes is an attachment.
void readNotePackage(LibraryItem& item) {
    QDirIterator files(item.path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString relative = QDir(item.path).relativeFilePath(file);
        if (relative == QLatin1String("TXT.rtf") || relative == PMNoteFile::noteAttributesFileName)
            continue;
        if (const auto bytes = contentsOf(file))
            item.attachmentDigests << digestOf(*bytes);
        else
            item.contentError = QStringLiteral("cannot read ") + file;
    }
    Error error;
    const auto note = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(item.path), &error);
    if (!note) {
        item.contentError = QStringLiteral("not a readable note package: ") + error.description();
        return;
    }
    item.text = note->noteText()->string();
    const AttributedString& text = *note->noteText();
    text.enumerateAttributes({0, text.length()}, [&](const TextAttributes& attributes,
                                                     const TextRange& range, bool&) {
        if (attributes.link)
            item.links.append({text.string().mid(range.location, range.length), *attributes.link});
    });
    const auto archive = contentsOf(item.path + u'/' + PMNoteFile::noteAttributesFileName);
    const auto attributes =
        archive ? PMNoteAttributes::fromArchivedData(*archive, &error) : std::nullopt;
    if (!attributes) {
        item.contentError = QStringLiteral("no readable NoteAttributes archive");
        return;
    }
    QList<PMNoteChecklistItem> checklist =
        attributes->checklistItems().value_or(QList<PMNoteChecklistItem>());
    std::stable_sort(checklist.begin(), checklist.end(),
                     [](const PMNoteChecklistItem& a, const PMNoteChecklistItem& b) {
                         return a.range().location < b.range().location;
                     });
    for (const PMNoteChecklistItem& box : checklist) item.checklistStates << box.on();
}

void collectWebResources(const PlistDictionary& archive, LibraryItem& item) {
    const PlistArray subresources = archive.value(QStringLiteral("WebSubresources")).toArray();
    for (const PlistValue& resource : subresources.values())
        item.attachmentDigests << digestOf(
            resource.toDictionary().value(QStringLiteral("WebResourceData")).toData());
    const PlistArray frames = archive.value(QStringLiteral("WebSubframeArchives")).toArray();
    for (const PlistValue& frame : frames.values()) collectWebResources(frame.toDictionary(), item);
}

void readWebArchive(LibraryItem& item) {
    Error error;
    const auto archive = PlistValue::readFromFile(item.path, &error);
    if (!archive) {
        item.contentError = QStringLiteral("not a readable web archive: ") + error.description();
        return;
    }
    const PlistDictionary root = archive->toDictionary();
    item.text = QString::fromUtf8(root.value(QStringLiteral("WebMainResource"))
                                      .toDictionary()
                                      .value(QStringLiteral("WebResourceData"))
                                      .toData());
    collectWebResources(root, item);
}

void readContents(LibraryItem& item) {
    switch (item.kind) {
        case LibraryItem::Kind::NotePackage:
            readNotePackage(item);
            break;
        case LibraryItem::Kind::WebArchive:
            readWebArchive(item);
            break;
        case LibraryItem::Kind::File:
            if (const auto bytes = contentsOf(item.path))
                item.attachmentDigests << digestOf(*bytes);
            else
                item.contentError = QStringLiteral("cannot read the file");
            break;
    }
    item.attachmentDigests.sort();
}

QMap<QByteArray, QByteArray> userExtendedAttributes(const QString& path) {
    QMap<QByteArray, QByteArray> attributes;
    const QByteArray file = QFile::encodeName(path);
    const ssize_t size = ::listxattr(file.constData(), nullptr, 0);
    if (size <= 0) return attributes;
    QByteArray names(size, '\0');
    const ssize_t listed = ::listxattr(file.constData(), names.data(), size_t(size));
    if (listed < 0) return attributes;
    names.truncate(listed);
    for (const QByteArray& name : names.split('\0')) {
        if (!name.startsWith("user.")) continue;
        const ssize_t length = ::getxattr(file.constData(), name.constData(), nullptr, 0);
        if (length < 0) continue;
        QByteArray value(length, '\0');
        const ssize_t read =
            ::getxattr(file.constData(), name.constData(), value.data(), size_t(length));
        if (read >= 0) attributes.insert(name, value.left(read));
    }
    return attributes;
}

// The note attributes the index recorded for each item (a library made
// before the index kept them has none).
QHash<QString, QMap<QString, QString>> indexAttributes(QSqlDatabase& db) {
    QHash<QString, QMap<QString, QString>> attributes;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT item_identifier, name, value FROM item_attributes")))
        return attributes;
    while (query.next())
        attributes[query.value(0).toString()].insert(query.value(1).toString(),
                                                     query.value(2).toString());
    return attributes;
}

LibraryItem itemAt(const QString& path) {
    LibraryItem item;
    const QFileInfo info(path);
    item.path = path;
    item.fileName = info.fileName();
    item.folderName = info.dir().dirName();
    item.exists = info.exists();
    if (!item.exists) return item;
    item.kind = kindOfFile(info);
    const FileResourceValues values = resourceValues(path);
    item.fileCreated = values.creationDate;
    item.fileModified = values.contentModificationDate;
    item.fileTags = values.tagNames;
    item.fileExtendedAttributes = userExtendedAttributes(path);
    readContents(item);
    return item;
}

QDateTime indexDate(const QString& text) {
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODate);
}

}  // namespace

QString kindName(LibraryItem::Kind kind) {
    switch (kind) {
        case LibraryItem::Kind::NotePackage:
            return QStringLiteral("note package");
        case LibraryItem::Kind::WebArchive:
            return QStringLiteral("web archive");
        case LibraryItem::Kind::File:
            return QStringLiteral("attachment file");
    }
    return QString();
}

std::optional<QList<LibraryItem>> readLibrary(const QString& libraryPath, QString* error) {
    const QString index = libraryPath + QStringLiteral("/Library.sqlite");
    if (!QFileInfo::exists(index)) {
        if (error) *error = QStringLiteral("no library index at ") + index;
        return std::nullopt;
    }
    const QString connection = QStringLiteral("library-reader-") + QUuid::createUuid().toString();
    std::optional<QList<LibraryItem>> items;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(index);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (!db.open() || !query.exec(QStringLiteral(
                              "SELECT path, name, date_created, date_modified, tags, identifier "
                              "FROM items ORDER BY rowid"))) {
            if (error)
                *error = QStringLiteral("cannot read %1: %2").arg(index, query.lastError().text());
        } else {
            items.emplace();
            const auto attributes = indexAttributes(db);
            while (query.next()) {
                LibraryItem item = itemAt(query.value(0).toString());
                item.indexName = query.value(1).toString();
                item.indexCreated = indexDate(query.value(2).toString());
                item.indexModified = indexDate(query.value(3).toString());
                const QString tags = query.value(4).toString();
                if (!tags.isEmpty()) item.indexTags = tags.split(u',');
                item.indexAttributes = attributes.value(query.value(5).toString());
                items->append(item);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return items;
}
