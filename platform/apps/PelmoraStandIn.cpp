#include "platform/apps/PelmoraStandIn.h"

#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <cstdio>

#include "platform/foundation/FileNameLength.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/StandardPaths.h"

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
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) name = QStringLiteral("Untitled");
    return FileNameLength::fittedName(name);
}

// "base N.ext", shortened before the number so that it stays within the file
// system's limit; the number goes last when the extension leaves no room.
QString numberedName(const QString& base, const QString& extension, int n) {
    const QString number = u' ' + QString::number(n);
    const QString numbered = FileNameLength::fittedBeforeSuffix(base, number + extension);
    return numbered.isEmpty() ? FileNameLength::fittedBeforeSuffix(base + extension, number) : numbered;
}

QString uniquePath(const QString& folder, const QString& name) {
    const QDir dir(folder);
    if (!QFileInfo::exists(dir.filePath(name))) return dir.filePath(name);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString candidate = dir.filePath(numberedName(base, extension, n));
        if (!QFileInfo::exists(candidate)) return candidate;
    }
}

bool copyRecursively(const QString& from, const QString& to) {
    const QFileInfo info(from);
    if (!info.isDir()) return QFile::copy(from, to);
    if (!QDir().mkpath(to)) return false;
    const QStringList entries = QDir(from).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& entry : entries)
        if (!copyRecursively(from + u'/' + entry, to + u'/' + entry)) return false;
    return true;
}

// Moves a file or a package; across file systems by copying then removing.
bool moveItem(const QString& from, const QString& to) {
    if (QFile::rename(from, to) || QDir().rename(from, to)) return true;
    if (!copyRecursively(from, to)) {
        QFileInfo(to).isDir() ? void(QDir(to).removeRecursively()) : void(QFile::remove(to));
        return false;
    }
    QFileInfo(from).isDir() ? void(QDir(from).removeRecursively()) : void(QFile::remove(from));
    return true;
}

void keepDatesAndTags(const QString& path, const PlistDictionary& item) {
    FileResourceValues values;
    values.contentModificationDate = item.value(QStringLiteral("dateModified")).toDate();
    const QString tags = item.value(QStringLiteral("tagsString")).toString();
    if (!tags.isEmpty()) values.tagNames = tags.split(u',');
    if (!setResourceValues(path, values)) logLine(QStringLiteral("Couldn't keep the dates and tags of %1").arg(path));
}

class LibraryIndex {
public:
    explicit LibraryIndex(const QString& libraryPath)
        : connection_(QStringLiteral("pelmora-") + QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(libraryPath + QStringLiteral("/Library.sqlite"));
        ok_ = db.open();
        if (!ok_) {
            error_ = db.lastError().text();
            return;
        }
        QSqlQuery q(db);
        ok_ = q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS groups (identifier TEXT PRIMARY KEY, "
                                    "name TEXT, path TEXT, comments TEXT, group_type INTEGER)")) &&
              q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS items (identifier TEXT PRIMARY KEY, "
                                    "group_identifier TEXT, name TEXT, path TEXT, item_type INTEGER, "
                                    "date_created TEXT, date_modified TEXT, tags TEXT, comments TEXT)"));
        if (!ok_) error_ = q.lastError().text();
    }
    ~LibraryIndex() {
        { QSqlDatabase::database(connection_).close(); }
        QSqlDatabase::removeDatabase(connection_);
    }
    bool isOpen() const { return ok_; }
    const QString& error() const { return error_; }
    QSqlDatabase db() const { return QSqlDatabase::database(connection_); }

    void addGroup(const PlistDictionary& group, const QString& path) {
        QSqlQuery q(db());
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO groups VALUES (?, ?, ?, ?, ?)"));
        q.addBindValue(group.value(QStringLiteral("identifier")).toString());
        q.addBindValue(group.value(QStringLiteral("name")).toString());
        q.addBindValue(path);
        q.addBindValue(group.value(QStringLiteral("comments")).toString());
        q.addBindValue(group.value(QStringLiteral("groupType")).toInteger());
        q.exec();
    }

    void addItem(const PlistDictionary& item, const QString& groupIdentifier, const QString& path) {
        QSqlQuery q(db());
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO items VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(item.value(QStringLiteral("identifier")).toString());
        q.addBindValue(groupIdentifier);
        q.addBindValue(item.value(QStringLiteral("name")).toString());
        q.addBindValue(path);
        q.addBindValue(item.value(QStringLiteral("itemType")).toInteger());
        q.addBindValue(item.value(QStringLiteral("dateCreated")).toDate().toString(Qt::ISODate));
        q.addBindValue(item.value(QStringLiteral("dateModified")).toDate().toString(Qt::ISODate));
        q.addBindValue(item.value(QStringLiteral("tagsString")).toString());
        q.addBindValue(item.value(QStringLiteral("comments")).toString());
        q.exec();
    }

private:
    QString connection_;
    bool ok_ = false;
    QString error_;
};

}  // namespace

PelmoraStandIn::PelmoraStandIn(ApplicationRecord record) : record_(std::move(record)) {}

std::shared_ptr<PelmoraStandIn> PelmoraStandIn::builtIn() {
    ApplicationRecord record;
    record.info.set(QStringLiteral("CFBundleIdentifier"), QString::fromLatin1(kBundleIdentifier));
    record.info.set(QStringLiteral("CFBundleShortVersionString"), QString::fromLatin1(kBuiltInVersion));
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

void PelmoraStandIn::activate() { Workspace::markRunning(record_, ::getpid()); }

void PelmoraStandIn::importFiles(const QStringList& files, quint32 method, const QString&, int,
                                 const QString&, int, const QString&) {
    if (method != kPelmoraImportMethodLibraryDescription) {
        logLine(QStringLiteral("Unsupported import method %1").arg(method, 8, 16, QLatin1Char('0')));
        return;
    }
    for (const QString& file : files) {
        Error error;
        if (auto count = importDescription(file, &error))
            logLine(QStringLiteral("Imported %1 items from %2 into %3").arg(*count).arg(file, libraryPath()));
        else
            logLine(QStringLiteral("Import of %1 failed: %2").arg(file, error.localizedDescription()));
    }
}

std::optional<int> PelmoraStandIn::importDescription(const QString& path, Error* error) {
    auto value = PlistValue::readFromFile(path, error);
    if (!value) return std::nullopt;
    const PlistDictionary description = value->toDictionary();
    const PlistDictionary entities = description.value(QStringLiteral("Entities")).toDictionary();
    const PlistDictionary folders = entities.value(QStringLiteral("Folder")).toDictionary();
    const PlistDictionary items = entities.value(QStringLiteral("Item")).toDictionary();
    if (!description.contains(QStringLiteral("Entities"))) {
        Error(kErrorDomain, 1, QStringLiteral("The library import description has no entities.")).report(error);
        return std::nullopt;
    }
    const QString library = libraryPath();
    if (!QDir().mkpath(library)) {
        Error(kErrorDomain, 2, QStringLiteral("Cannot create the library folder %1").arg(library)).report(error);
        return std::nullopt;
    }
    LibraryIndex index(library);
    if (!index.isOpen()) {
        Error(kErrorDomain, 3, QStringLiteral("Cannot open the library index: %1").arg(index.error())).report(error);
        return std::nullopt;
    }
    int imported = 0;
    index.db().transaction();
    for (const auto& [identifier, groupValue] : folders.entries()) {
        const PlistDictionary group = groupValue.toDictionary();
        const QString folder = uniquePath(library, safeComponent(group.value(QStringLiteral("name")).toString()));
        QDir().mkpath(folder);
        index.addGroup(group, folder);
        for (const PlistValue& itemIdentifier : group.value(QStringLiteral("items")).toArray().values()) {
            const PlistDictionary item = items.value(itemIdentifier.toString()).toDictionary();
            if (item.isEmpty()) {
                logLine(QStringLiteral("Refused item %1 of group \"%2\": not in the description")
                            .arg(itemIdentifier.toString(), group.value(QStringLiteral("name")).toString()));
                continue;
            }
            const QString source = item.value(QStringLiteral("absoluteFilename")).toString();
            if (source.isEmpty() || !QFileInfo::exists(source)) {
                logLine(QStringLiteral("Refused item \"%1\": its file %2 is missing")
                            .arg(item.value(QStringLiteral("name")).toString(), source));
                continue;
            }
            const QString target = uniquePath(folder, safeComponent(QFileInfo(source).fileName()));
            if (!moveItem(source, target)) {
                logLine(QStringLiteral("Refused item \"%1\": cannot move %2 into the library")
                            .arg(item.value(QStringLiteral("name")).toString(), source));
                continue;
            }
            keepDatesAndTags(target, item);
            index.addItem(item, identifier, target);
            ++imported;
        }
    }
    index.db().commit();
    const QString remove = description.value(QStringLiteral("RemoveFileOnCompletion")).toString();
    if (!remove.isEmpty()) {
        QFileInfo(remove).isDir() ? void(QDir(remove).removeRecursively()) : void(QFile::remove(remove));
    }
    return imported;
}

std::shared_ptr<PelmoraApplication> PelmoraApplication::applicationWithBundleIdentifier(
    const QString& bundleIdentifier) {
    const QList<ApplicationRecord> apps = Workspace::installedApplications(bundleIdentifier);
    if (!apps.isEmpty()) return std::make_shared<PelmoraStandIn>(apps.first());
    if (bundleIdentifier != QLatin1String(kBundleIdentifier)) return nullptr;
    for (const QString& identifier : bundleIdentifiers())
        if (!Workspace::installedApplications(identifier).isEmpty()) return nullptr;
    return PelmoraStandIn::builtIn();
}

std::shared_ptr<PelmoraApplication> PelmoraApplication::applicationWithProcessIdentifier(qint64 pid) {
    auto app = Workspace::applicationWithProcessIdentifier(pid);
    if (!app) return nullptr;
    return std::make_shared<PelmoraStandIn>(*app);
}
