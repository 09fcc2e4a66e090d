#include "platform/apps/PelmoraStandIn.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <memory>
#include <unordered_map>

#include "platform/apps/PelmoraStandInLibraryQuery.h"
#include "platform/foundation/FileNameLength.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/plist/PlistStreamReader.h"

namespace {

QMutex overrideMutex;
QString libraryOverride;

const QString kErrorDomain = QStringLiteral("PelmoraStandInErrorDomain");

void logLine(const QString& text) {
    std::fprintf(stderr, "Pelmora: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

// A name that is one safe path component within the file system's limit.
QString safeComponent(QString name) {
    name.replace(u'/', u'-');
    name.replace(QChar(0), u'-');
    name = name.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("Untitled");
    return FileNameLength::fittedName(name);
}

// Whether anything at all is at `path`, a dangling symbolic link included.
bool isItemPresent(const QString& path) {
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// A path in `folder` that nothing is at: `name`, else "name N.ext".
QString uniquePath(const QString& folder, const QString& name) {
    const QString first = folder + u'/' + name;
    if (!isItemPresent(first)) return first;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot + 1) : QString();
    for (long n = 1;; ++n) {
        const QString candidate = folder + u'/' + FileNameLength::numberedName(base, extension, n);
        if (!isItemPresent(candidate)) return candidate;
    }
}

// What the import needs of one item of the description: kept instead of the
// item's whole dictionary, so that a description of many items is read in
// little memory.
struct DescriptionItem {
    QString identifier;
    QString name;
    QString absoluteFilename;
    qint64 itemType = 0;
    QDateTime dateCreated;
    QDateTime dateModified;
    QString tagsString;
    QString comments;
    QString fingerprint;  // "evernoteFingerprint"; empty when the item has none
    QString noteKey;      // "evernoteNoteKey"
    // The note's attributes ("evernoteAttributes"), name and value, in order.
    QList<std::pair<QString, QString>> attributes;

    static DescriptionItem fromDictionary(const PlistDictionary& item) {
        QList<std::pair<QString, QString>> attributes;
        const PlistDictionary given =
            item.value(QStringLiteral("evernoteAttributes")).toDictionary();
        for (const auto& [name, value] : given.entries())
            attributes.append({name, value.toString()});
        return {item.value(QStringLiteral("identifier")).toString(),
                item.value(QStringLiteral("name")).toString(),
                item.value(QStringLiteral("absoluteFilename")).toString(),
                item.value(QStringLiteral("itemType")).toInteger(),
                item.value(QStringLiteral("dateCreated")).toDate(),
                item.value(QStringLiteral("dateModified")).toDate(),
                item.value(QStringLiteral("tagsString")).toString(),
                item.value(QStringLiteral("comments")).toString(),
                item.value(QStringLiteral("evernoteFingerprint")).toString(),
                item.value(QStringLiteral("evernoteNoteKey")).toString(),
                std::move(attributes)};
    }
};

// An item whose description gives no dates takes them from its file: the
// note-by-note HTML import sets them there (the modification time and our
// creation-date attribute) instead of in the description. Read before the
// move, which across file systems may not keep the attribute.
DescriptionItem withDatesFromFile(DescriptionItem item, const QString& path) {
    if (item.dateCreated.isValid() && item.dateModified.isValid()) return item;
    const FileResourceValues values = resourceValues(path);
    if (!item.dateCreated.isValid()) item.dateCreated = values.creationDate;
    if (!item.dateModified.isValid()) item.dateModified = values.contentModificationDate;
    return item;
}

// Moves `source` into `folder` as `name`, else as "name N.ext" while an item
// is there. The move itself refuses a taken name (a rename without
// replacement), so a free name costs no look before it. Sets *target.
bool moveToFreeName(const QString& source, const QString& folder, const QString& name,
                    QString* target, Error* error) {
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot + 1) : QString();
    for (long n = 0;; ++n) {
        *target =
            folder + u'/' + (n == 0 ? name : FileNameLength::numberedName(base, extension, n));
        Error attempt;
        if (FileOperations::moveItem(source, *target, &attempt)) return true;
        if (attempt.code() != EEXIST) return attempt.report(error), false;
    }
}

void keepDatesAndTags(const QString& path, const DescriptionItem& item) {
    FileResourceValues values;
    values.contentModificationDate = item.dateModified;
    const QString& tags = item.tagsString;
    if (!tags.isEmpty()) values.tagNames = tags.split(u',');
    Error error;
    if (!setResourceValues(path, values, &error))
        logLine(QStringLiteral("Couldn't keep the dates and tags of %1: %2")
                    .arg(path, error.localizedDescription()));
}

// Every statement is checked: a failure comes back as the driver's text.
class LibraryIndex {
  public:
    explicit LibraryIndex(const QString& libraryPath)
        : connection_(QStringLiteral("pelmora-") + QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(libraryPath + QStringLiteral("/Library.sqlite"));
        if (!db.open()) {
            error_ = db.lastError().text();
            return;
        }
        // The note-key index takes each item at a random place: with SQLite's
        // small default cache an import into a large library reads the same
        // index pages again and again. This connection's cache only; nothing
        // is stored.
        ok_ = execute(QStringLiteral("PRAGMA cache_size = -65536")) &&
              execute(
                  QStringLiteral("CREATE TABLE IF NOT EXISTS groups (identifier TEXT PRIMARY KEY, "
                                 "name TEXT, path TEXT, comments TEXT, group_type INTEGER)")) &&
              execute(
                  QStringLiteral("CREATE TABLE IF NOT EXISTS items (identifier TEXT PRIMARY KEY, "
                                 "group_identifier TEXT, name TEXT, path TEXT, item_type INTEGER, "
                                 "date_created TEXT, date_modified TEXT, tags TEXT, comments TEXT, "
                                 "fingerprint TEXT, note_key TEXT, note_key_head INTEGER)")) &&
              findAttributesTable();
    }
    ~LibraryIndex() {
        statements_.clear();  // before the connection goes
        { QSqlDatabase::database(connection_).close(); }
        QSqlDatabase::removeDatabase(connection_);
    }
    bool isOpen() const { return ok_; }
    // The text of the last failure.
    const QString& error() const { return error_; }

    bool begin() {
        QSqlDatabase database = db();
        return check(database.transaction(), database);
    }
    // Brings an index of an earlier layout up to this one, inside the import's
    // transaction: the fingerprint, note-key and head columns, the heads of
    // the items that have a key, the head's index (the only one a look-up
    // needs) in place of earlier ones, and the layout's version. An index of
    // a newer layout is left alone.
    bool upgradeLayout() {
        QSqlQuery version(db());
        if (!check(version.exec(QStringLiteral("PRAGMA user_version")), version)) return false;
        const int found = version.next() ? version.value(0).toInt() : 0;
        version.finish();  // a statement still reading would lock the index's schema
        if (found > PelmoraStandInLibraryQuery::kLibraryIndexVersion) {
            isTooNew_ = true;
            error_ = QStringLiteral("it was written by a newer version (%1)").arg(found);
            return false;
        }
        if (found == PelmoraStandInLibraryQuery::kLibraryIndexVersion) return true;
        const std::pair<QString, QString> columns[] = {
            {QStringLiteral("fingerprint"), QStringLiteral("TEXT")},
            {QStringLiteral("note_key"), QStringLiteral("TEXT")},
            {QStringLiteral("note_key_head"), QStringLiteral("INTEGER")}};
        for (const auto& [column, type] : columns)
            if (!hasItemColumn(column) &&
                !execute(QStringLiteral("ALTER TABLE items ADD COLUMN %1 %2").arg(column, type)))
                return false;
        return addNoteKeyHeadFunction() &&
               execute(QStringLiteral("UPDATE items SET note_key_head = note_key_head_of(note_key) "
                                      "WHERE note_key IS NOT NULL")) &&
               execute(QStringLiteral("DROP INDEX IF EXISTS items_fingerprint")) &&
               execute(QStringLiteral("DROP INDEX IF EXISTS items_note_key")) &&
               execute(QStringLiteral("CREATE INDEX IF NOT EXISTS items_note_key_head ON items "
                                      "(note_key_head)")) &&
               execute(QStringLiteral("PRAGMA user_version = %1")
                           .arg(PelmoraStandInLibraryQuery::kLibraryIndexVersion));
    }
    bool isTooNew() const { return isTooNew_; }

    bool commit() {
        QSqlDatabase database = db();
        return check(database.commit(), database);
    }
    void rollback() { db().rollback(); }

    bool addGroup(const PlistDictionary& group, const QString& path) {
        QSqlQuery q(db());
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO groups VALUES (?, ?, ?, ?, ?)"));
        q.addBindValue(group.value(QStringLiteral("identifier")).toString());
        q.addBindValue(group.value(QStringLiteral("name")).toString());
        q.addBindValue(path);
        q.addBindValue(group.value(QStringLiteral("comments")).toString());
        q.addBindValue(group.value(QStringLiteral("groupType")).toInteger());
        return check(q.exec(), q);
    }

    // The item's row and its attributes, both or neither. An identifier the
    // index already gives to a file that is still there is not taken from
    // it: the item is recorded under a fresh one (`recorded` says which).
    bool addItem(const DescriptionItem& described, const QString& groupIdentifier,
                 const QString& path, QString* recorded = nullptr) {
        if (!execute(QStringLiteral("SAVEPOINT item"))) return false;
        DescriptionItem item = described;
        const bool placed = identifierFor(item, path);
        if (recorded) *recorded = item.identifier;
        if (placed && insertItem(item, groupIdentifier, path) && replaceAttributes(item))
            return execute(QStringLiteral("RELEASE item"));
        const QString failure = error_;
        execute(QStringLiteral("ROLLBACK TO item"));
        execute(QStringLiteral("RELEASE item"));
        error_ = failure;
        return false;
    }

    // The path recorded for the item `identifier`, or an empty text.
    QString pathOfItem(const QString& identifier) {
        QSqlQuery q(db());
        q.prepare(QStringLiteral("SELECT path FROM items WHERE identifier = ?"));
        q.addBindValue(identifier);
        if (!check(q.exec(), q) || !q.next()) return QString();
        return q.value(0).toString();
    }

  private:
    // note_key_head_of(key) for the upgrade: the head of each key already there.
    bool addNoteKeyHeadFunction() {
        const QVariant handle = db().driver()->handle();
        sqlite3* connection =
            handle.isValid() ? *static_cast<sqlite3* const*>(handle.constData()) : nullptr;
        auto headOf = [](sqlite3_context* context, int, sqlite3_value** arguments) {
            const auto* key = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
            const QByteArrayView view(key, key ? sqlite3_value_bytes(arguments[0]) : 0);
            sqlite3_result_int64(context, PelmoraStandInLibraryQuery::noteKeyHead(view));
        };
        const int rc = connection
                           ? sqlite3_create_function_v2(connection, "note_key_head_of", 1,
                                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                        headOf, nullptr, nullptr, nullptr)
                           : SQLITE_MISUSE;
        if (rc != SQLITE_OK)
            error_ = QStringLiteral("cannot add the note-key function: %1")
                         .arg(QString::fromUtf8(sqlite3_errstr(rc)));
        return rc == SQLITE_OK;
    }

    bool hasItemColumn(const QString& column) {
        QSqlQuery q(db());
        if (!check(q.exec(QStringLiteral("PRAGMA table_info(items)")), q)) return false;
        while (q.next())
            if (q.value(1).toString() == column) return true;
        return false;
    }

    // Keeps `item`'s identifier when the index has no other file under it; a
    // row whose file is gone is dropped (it lists nothing), one whose file is
    // there makes the item take a fresh identifier.
    bool identifierFor(DescriptionItem& item, const QString& path) {
        QSqlQuery& q = statement(QStringLiteral("SELECT path FROM items WHERE identifier = ?"));
        q.bindValue(0, item.identifier);
        if (!check(q.exec(), q)) return false;
        if (!q.next()) return true;
        const QString earlier = q.value(0).toString();
        q.finish();
        if (earlier != path && isItemPresent(earlier)) {
            const QString fresh = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
            logLine(QStringLiteral("Item %1 is already in the library at %2; %3 is recorded as %4")
                        .arg(item.identifier, earlier, path, fresh));
            item.identifier = fresh;
            return true;
        }
        QSqlQuery remove(db());
        remove.prepare(QStringLiteral("DELETE FROM items WHERE identifier = ?"));
        remove.addBindValue(item.identifier);
        return check(remove.exec(), remove);
    }

    bool insertItem(const DescriptionItem& item, const QString& groupIdentifier,
                    const QString& path) {
        QSqlQuery& q = statement(QStringLiteral(
            "INSERT INTO items (identifier, group_identifier, name, path, item_type, "
            "date_created, date_modified, tags, comments, fingerprint, note_key, note_key_head) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        const QByteArray noteKey = item.noteKey.toUtf8();
        const QVariant values[] = {
            item.identifier,
            groupIdentifier,
            item.name,
            path,
            item.itemType,
            item.dateCreated.toString(Qt::ISODate),
            item.dateModified.toString(Qt::ISODate),
            item.tagsString,
            item.comments,
            item.fingerprint.isEmpty() ? QVariant() : QVariant(item.fingerprint),
            item.noteKey.isEmpty() ? QVariant() : QVariant(item.noteKey),
            item.noteKey.isEmpty() ? QVariant()
                                   : QVariant(PelmoraStandInLibraryQuery::noteKeyHead(noteKey))};
        for (int i = 0; i < int(std::size(values)); ++i) q.bindValue(i, values[i]);
        return check(q.exec(), q);
    }

    // Whether the library has the attributes table yet: a library made
    // before attributes were kept has none, and it is made with the first
    // item that has attributes, inside the import's transaction (making it
    // here would need a write while a reader may hold the library).
    bool findAttributesTable() {
        QSqlQuery q(db());
        if (!check(q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                         "AND name = 'item_attributes'")),
                   q))
            return false;
        hasAttributesTable_ = q.next();
        return true;
    }

    // An item imported again keeps only the attributes it has now.
    bool replaceAttributes(const DescriptionItem& item) {
        if (!hasAttributesTable_) {
            if (item.attributes.isEmpty()) return true;
            if (!execute(QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS item_attributes (item_identifier TEXT, "
                    "name TEXT, value TEXT, PRIMARY KEY (item_identifier, name))")))
                return false;
            hasAttributesTable_ = true;
        }
        QSqlQuery& remove =
            statement(QStringLiteral("DELETE FROM item_attributes WHERE item_identifier = ?"));
        remove.bindValue(0, item.identifier);
        if (!check(remove.exec(), remove)) return false;
        if (item.attributes.isEmpty()) return true;
        QSqlQuery insert(db());
        insert.prepare(QStringLiteral("INSERT OR REPLACE INTO item_attributes VALUES (?, ?, ?)"));
        for (const auto& [name, value] : item.attributes) {
            insert.bindValue(0, item.identifier);
            insert.bindValue(1, name);
            insert.bindValue(2, value);
            if (!check(insert.exec(), insert)) return false;
        }
        return true;
    }
    QSqlDatabase db() const { return QSqlDatabase::database(connection_); }
    bool execute(const QString& statement) {
        QSqlQuery q(db());
        return check(q.exec(statement), q);
    }
    // `source` is read after the statement ran (an argument list has no order).
    template <typename Source>
    bool check(bool ok, const Source& source) {
        if (!ok) error_ = source.lastError().text();
        return ok;
    }

    // The statement `text`, prepared once for the whole import: preparing
    // one per item cost more than running it. A statement that does not
    // prepare fails when it is run, with the driver's text.
    QSqlQuery& statement(const QString& text) {
        auto found = statements_.find(text);
        if (found == statements_.end()) {
            auto query = std::make_unique<QSqlQuery>(db());
            query->prepare(text);
            found = statements_.emplace(text, std::move(query)).first;
        }
        return *found->second;
    }

    QString connection_;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> statements_;
    bool ok_ = false;
    bool hasAttributesTable_ = false;
    bool isTooNew_ = false;
    QString error_;
};

// One import of a description: the items moved so far, so that a failed
// index can put them back, and the refusals.
class DescriptionImport {
  public:
    using Items = QHash<QString, DescriptionItem>;
    DescriptionImport(const Items& items, LibraryIndex& index) : items_(items), index_(index) {}

    void importGroup(const QString& identifier, const PlistDictionary& group,
                     const QString& library) {
        const PlistArray members = group.value(QStringLiteral("items")).toArray();
        const QString folder =
            uniquePath(library, safeComponent(group.value(QStringLiteral("name")).toString()));
        Error error;
        if (!FileOperations::makeDirectory(folder, true, &error)) {
            refuseAll(
                members,
                QStringLiteral("cannot create its folder: %1").arg(error.localizedDescription()));
            return;
        }
        if (!index_.addGroup(group, folder)) {
            FileOperations::removeItem(folder);
            refuseAll(members, QStringLiteral("cannot record its group in the library index: %1")
                                   .arg(index_.error()));
            return;
        }
        for (const PlistValue& member : members.values()) {
            const auto item = items_.constFind(member.toString());
            if (item == items_.constEnd()) {
                logLine(
                    QStringLiteral("Refused item %1 of group \"%2\": not in the description")
                        .arg(member.toString(), group.value(QStringLiteral("name")).toString()));
                result_.refused.append({member.toString(), QString(), QString(),
                                        QStringLiteral("not in the description")});
                continue;
            }
            importItem(*item, identifier, folder);
        }
    }

    // Puts every moved item back where it came from (the index could not be saved).
    void undoMoves() {
        for (auto it = moved_.crbegin(); it != moved_.crend(); ++it) {
            Error error;
            if (!FileOperations::moveItem(it->second, it->first, &error))
                logLine(QStringLiteral("Cannot put %1 back: %2; it is at %3")
                            .arg(it->first, error.localizedDescription(), it->second));
        }
        moved_.clear();
        result_.taken = 0;
        result_.libraryPaths.clear();
    }

    PelmoraImportResult& result() { return result_; }

  private:
    void importItem(const DescriptionItem& described, const QString& groupIdentifier,
                    const QString& folder) {
        const QString& source = described.absoluteFilename;
        if (source.isEmpty()) {
            refuse(described, QStringLiteral("the description gives no file for it"));
            return;
        }
        const DescriptionItem item = withDatesFromFile(described, source);
        QString target;
        Error error;
        if (!moveToFreeName(source, folder, safeComponent(QFileInfo(source).fileName()), &target,
                            &error)) {
            // The move is what finds a missing file (no look before it).
            if (error.code() == ENOENT && !isItemPresent(source))
                refuse(item, QStringLiteral("its file %1 is missing").arg(source));
            else
                refuse(item, QStringLiteral("cannot move %1 into the library: %2")
                                 .arg(source, error.localizedDescription()));
            return;
        }
        if (!index_.addItem(item, groupIdentifier, target, nullptr)) {
            const QString reason =
                QStringLiteral("cannot record it in the library index: %1").arg(index_.error());
            if (!FileOperations::moveItem(target, source, &error)) {
                // It stays in the library folder, unindexed; say where, so it is not lost.
                refuse(item, QStringLiteral("%1; it could not be put back (%2) and is at %3")
                                 .arg(reason, error.localizedDescription(), target));
                return;
            }
            refuse(item, reason);
            return;
        }
        keepDatesAndTags(target, item);
        moved_.append({source, target});
        ++result_.taken;
        result_.libraryPaths.insert(item.identifier, target);
    }

    void refuse(const DescriptionItem& item, const QString& reason) {
        logLine(QStringLiteral("Refused item \"%1\": %2").arg(item.name, reason));
        result_.refused.append({item.identifier, item.name, item.absoluteFilename, reason});
    }

    void refuseAll(const PlistArray& members, const QString& reason) {
        for (const PlistValue& member : members.values()) {
            DescriptionItem item = items_.value(member.toString());
            if (item.identifier.isEmpty()) item.identifier = member.toString();
            refuse(item, reason);
        }
    }

    Items items_;
    LibraryIndex& index_;
    PelmoraImportResult result_;
    QList<std::pair<QString, QString>> moved_;  // (from, to)
};

// Removes the staging path once the library holds every item; keeps it, with
// the refused items' files in it, otherwise.
void removeStaging(const QString& staging, const PelmoraImportResult& result) {
    if (!result.refused.isEmpty()) {
        logLine(QStringLiteral("Kept %1: it holds %2 items that were not imported")
                    .arg(staging)
                    .arg(result.refused.size()));
        return;
    }
    Error error;
    if (!FileOperations::removeItem(staging, &error))
        logLine(
            QStringLiteral("Couldn't remove %1: %2").arg(staging, error.localizedDescription()));
}

}  // namespace

PelmoraStandIn::PelmoraStandIn(ApplicationRecord record) : record_(std::move(record)) {}

std::shared_ptr<PelmoraStandIn> PelmoraStandIn::builtIn() {
    ApplicationRecord record;
    record.info.set(QStringLiteral("CFBundleIdentifier"), QString::fromLatin1(kBundleIdentifier));
    record.info.set(QStringLiteral("CFBundleShortVersionString"),
                    QString::fromLatin1(kBuiltInVersion));
    record.info.set(QStringLiteral("CFBundleName"), QStringLiteral("Pelmora"));
    return std::make_shared<PelmoraStandIn>(record);
}

void PelmoraStandIn::setLibraryPathOverride(const QString& path) {
    QMutexLocker lock(&overrideMutex);
    libraryOverride = path;
}

QString PelmoraStandIn::libraryPath() const {
    {
        QMutexLocker lock(&overrideMutex);
        if (!libraryOverride.isEmpty()) return libraryOverride;
    }
    const QString configured = record_.info.value(QStringLiteral("PelmoraLibraryPath")).toString();
    if (!configured.isEmpty()) return configured;
    return StandardPaths::applicationSupportDirectory() + QStringLiteral("/Pelmora 3/Library");
}

void PelmoraStandIn::activate() {
    if (record_.bundlePath.isEmpty()) return;  // the built-in edition is always at hand
    Error error;
    if (!Workspace::markRunning(record_, &error))
        logLine(QStringLiteral("Cannot mark %1 as running: %2")
                    .arg(record_.bundlePath, error.localizedDescription()));
}

PelmoraImportResult PelmoraStandIn::importFiles(const QStringList& files, quint32 method,
                                                const QString&, int, const QString&, int,
                                                const QString&) {
    PelmoraImportResult total;
    if (method != kPelmoraImportMethodLibraryDescription) {
        const QString text =
            QStringLiteral("Unsupported import method %1").arg(method, 8, 16, QLatin1Char('0'));
        logLine(text);
        total.error = Error(kErrorDomain, 4, text);
        return total;
    }
    for (const QString& file : files) {
        const PelmoraImportResult result = importDescription(file);
        if (result.failed())
            logLine(QStringLiteral("Import of %1 failed: %2")
                        .arg(file, result.error.localizedDescription()));
        else
            logLine(QStringLiteral("Imported %1 items from %2 into %3")
                        .arg(result.taken)
                        .arg(file, libraryPath()));
        total.taken += result.taken;
        total.refused += result.refused;
        total.libraryPaths.insert(result.libraryPaths);
        if (result.failed() && !total.failed()) total.error = result.error;
    }
    return total;
}

PelmoraImportResult PelmoraStandIn::importDescription(const QString& path) {
    PelmoraImportResult failure;
    Error error;
    // The items are read one at a time into compact records: a description
    // of many thousand items never stands whole in memory.
    DescriptionImport::Items items;
    auto value = PlistStreamReader::readFromFile(
        path, {QStringLiteral("Entities"), QStringLiteral("Item")},
        [&](const QString& identifier, const PlistValue& item) {
            DescriptionItem record = DescriptionItem::fromDictionary(item.toDictionary());
            // The key shares the record's text when they are equal.
            if (record.identifier == identifier)
                items.insert(record.identifier, std::move(record));
            else
                items.insert(identifier, std::move(record));
        },
        &error);
    if (!value) {
        failure.error = error;
        return failure;
    }
    const PlistDictionary description = value->toDictionary();
    const PlistDictionary folders = description.value(QStringLiteral("Entities"))
                                        .toDictionary()
                                        .value(QStringLiteral("Folder"))
                                        .toDictionary();
    if (!description.contains(QStringLiteral("Entities"))) {
        failure.error = Error(kErrorDomain, 1,
                              QStringLiteral("The library import description has no entities."));
        return failure;
    }
    const QString library = libraryPath();
    if (!FileOperations::makeDirectory(library, true, &error)) {
        failure.error =
            Error(kErrorDomain, 2,
                  QStringLiteral("Cannot create the library folder %1").arg(library), error);
        return failure;
    }
    LibraryIndex index(library);
    if (!index.isOpen() || !index.begin()) {
        failure.error =
            Error(kErrorDomain, 3,
                  QStringLiteral("Cannot open the library index: %1").arg(index.error()));
        return failure;
    }
    if (!index.upgradeLayout()) {
        const QString reason = index.error();
        index.rollback();
        failure.error = Error(kErrorDomain, index.isTooNew() ? 7 : 3,
                              QStringLiteral("Cannot open the library index: %1").arg(reason));
        return failure;
    }
    DescriptionImport import(items, index);
    for (const auto& [identifier, group] : folders.entries())
        import.importGroup(identifier, group.toDictionary(), library);
    if (!index.commit()) {
        const QString reason = index.error();
        index.rollback();
        import.undoMoves();
        failure.error =
            Error(kErrorDomain, 5, QStringLiteral("Cannot save the library index: %1").arg(reason));
        return failure;
    }
    const QString staging = description.value(QStringLiteral("RemoveFileOnCompletion")).toString();
    if (!staging.isEmpty()) removeStaging(staging, import.result());
    return import.result();
}

std::unique_ptr<PelmoraLibraryQuery> PelmoraStandIn::openLibraryQuery(Error* error) {
    return PelmoraStandInLibraryQuery::open(libraryPath(), error);
}

std::optional<QString> PelmoraStandIn::pathOfLinkedItem(const QUrl& link, Error* error) const {
    const QString identifier = identifierOfItemLink(link);
    if (identifier.isEmpty()) return std::nullopt;
    LibraryIndex index(libraryPath());
    if (!index.isOpen()) {
        Error(kErrorDomain, 3,
              QStringLiteral("Cannot open the library index: %1").arg(index.error()))
            .report(error);
        return std::nullopt;
    }
    const QString path = index.pathOfItem(identifier);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::shared_ptr<PelmoraApplication> PelmoraApplication::applicationWithBundleIdentifier(
    const QString& bundleIdentifier) {
    const QList<ApplicationRecord> apps = Workspace::installedApplications(bundleIdentifier);
    if (!apps.isEmpty()) return std::make_shared<PelmoraStandIn>(apps.first());
    if (bundleIdentifier != QLatin1String(kBundleIdentifier)) return nullptr;
    for (const QString& identifier : bundleIdentifiers())
        if (!Workspace::installedApplications(identifier).isEmpty()) return nullptr;
    // A bundle that cannot be read may be the user's own Pelmora: importing
    // into the built-in library instead would put the items where they did
    // not ask.
    const QStringList unreadable = Workspace::unreadableApplications();
    if (!unreadable.isEmpty()) {
        logLine(QStringLiteral("Not offering the built-in Pelmora: %1 cannot be read")
                    .arg(unreadable.join(QStringLiteral(", "))));
        return nullptr;
    }
    return PelmoraStandIn::builtIn();
}

std::shared_ptr<PelmoraApplication> PelmoraApplication::applicationWithProcessIdentifier(
    qint64 pid, const QStringList& bundleIdentifiers) {
    auto app = Workspace::applicationWithProcessIdentifier(pid, bundleIdentifiers);
    if (!app) return nullptr;
    return std::make_shared<PelmoraStandIn>(*app);
}
