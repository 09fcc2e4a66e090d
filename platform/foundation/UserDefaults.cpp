#include "platform/foundation/UserDefaults.h"

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cerrno>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/foundation/SystemLog.h"

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(Bundle::main().bundleIdentifier().isEmpty()
                                     ? QStringLiteral("com.quorvel.Ferrymark")
                                     : Bundle::main().bundleIdentifier());
    return defaults;
}

UserDefaults::UserDefaults(const QString& domain) : domain_(domain) {}

void UserDefaults::addSuiteNamed(const QString& suite) {
    QMutexLocker lock(&mutex_);
    if (suite != domain_ && !suites_.contains(suite)) suites_ << suite;
}

QString UserDefaults::pathForDomain(const QString& domain) {
    return StandardPaths::configDirectory() + QStringLiteral("/preferences/") + domain +
           QStringLiteral(".plist");
}

namespace {

// Parsed domain files, kept while the file on disk is unchanged. A file is
// looked at again (one stat) only when its last look is older than
// kRecheckIntervalMs, so that the many lookups of an import cost no system
// call; writes through this class forget the file's entry.
constexpr qint64 kRecheckIntervalMs = 1000;

struct CachedDomain {
    qint64 modified = -1;
    qint64 size = -1;
    quint64 inode = 0;
    qint64 checkedAtMs = 0;
    PlistDictionary dictionary;
    // Why the file that is there cannot be read as a dictionary; empty when
    // it can, or when there is no file (or an empty one: nothing to keep).
    QString damage;
};

QMutex cacheMutex;
QHash<QString, CachedDomain> cache;

qint64 monotonicMs() {
    static const QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}

// Reads the file behind an entry; a damaged one is said once per change of the file.
void readDomainFile(const QString& path, qint64 size, CachedDomain& entry) {
    entry.dictionary = PlistDictionary();
    entry.damage.clear();
    if (size == 0) return;
    Error error;
    const auto value = PlistValue::readFromFile(path, &error);
    if (!value)
        entry.damage = error.localizedDescription();
    else if (value->type() != PlistValue::Type::Dictionary)
        entry.damage = QStringLiteral("it holds no dictionary");
    else
        entry.dictionary = value->toDictionary();
    if (!entry.damage.isEmpty())
        systemLog(QStringLiteral("Settings: cannot read %1 (%2); its settings read as unset and "
                                 "the file is kept as it is")
                      .arg(path, entry.damage));
}

CachedDomain cachedDomain(const QString& path) {
    const qint64 now = monotonicMs();
    {
        QMutexLocker lock(&cacheMutex);
        const auto entry = cache.constFind(path);
        if (entry != cache.constEnd() && now - entry->checkedAtMs < kRecheckIntervalMs)
            return *entry;
    }
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        CachedDomain missing{-1, -1, 0, now, PlistDictionary(), QString()};
        // Only "no such file" is an empty domain; anything else may hide settings.
        if (errno != ENOENT) missing.damage = posixError(errno).localizedDescription();
        QMutexLocker lock(&cacheMutex);
        cache.insert(path, missing);
        return missing;
    }
    const qint64 modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    QMutexLocker lock(&cacheMutex);
    CachedDomain& entry = cache[path];
    entry.checkedAtMs = now;
    if (entry.modified == modified && entry.size == st.st_size && entry.inode == st.st_ino)
        return entry;
    entry.modified = modified;
    entry.size = static_cast<qint64>(st.st_size);
    entry.inode = static_cast<quint64>(st.st_ino);
    readDomainFile(path, entry.size, entry);
    return entry;
}

PlistDictionary cachedDictionary(const QString& path) { return cachedDomain(path).dictionary; }

void forgetCachedDictionary(const QString& path) {
    QMutexLocker lock(&cacheMutex);
    cache.remove(path);
}

}  // namespace

PlistDictionary UserDefaults::dictionaryForDomain(const QString& domain) {
    return cachedDictionary(pathForDomain(domain)).deepCopy();
}

bool UserDefaults::writeDictionary(const PlistDictionary& dict, const QString& domain,
                                   Error* error) {
    const QString path = pathForDomain(domain);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool written = PlistValue(dict).writeToFile(path, PlistValue::Format::Xml, error);
    forgetCachedDictionary(path);
    return written;
}

PlistValue UserDefaults::objectForKey(const QString& key) const {
    QStringList search;
    {
        QMutexLocker lock(&mutex_);
        if (volatile_.contains(key)) return volatile_.value(key);
        search = QStringList{domain_} + suites_;
    }
    for (const QString& domain : search) {
        const PlistDictionary dict = cachedDictionary(pathForDomain(domain));
        if (dict.contains(key)) return dict.value(key).deepCopy();
    }
    return PlistValue();
}

QString UserDefaults::stringForKey(const QString& key) const {
    const PlistValue value = objectForKey(key);
    switch (value.type()) {
        case PlistValue::Type::String:
            return value.toString();
        case PlistValue::Type::Integer:
            return QString::number(value.toInteger());
        case PlistValue::Type::Real:
            return QString::number(value.toReal());
        default:
            return QString();
    }
}

void UserDefaults::setVolatileValue(const PlistValue& value, const QString& key) {
    QMutexLocker lock(&mutex_);
    if (value.isNull())
        volatile_.remove(key);
    else
        volatile_.set(key, value);
}

std::optional<PlistDictionary> UserDefaults::dictionaryToChange(const QString& domain,
                                                                Error* error) {
    const QString path = pathForDomain(domain);
    // A change starts from the file as it is now, not as it was up to a second ago.
    forgetCachedDictionary(path);
    const CachedDomain current = cachedDomain(path);
    if (!current.damage.isEmpty()) {
        const QString text =
            QStringLiteral(
                "The settings file %1 cannot be read (%2). It was kept as it is and not "
                "changed; repair or remove it to change these settings.")
                .arg(path, current.damage);
        systemLog(QStringLiteral("Settings: ") + text);
        Error(QStringLiteral("UserDefaultsErrorDomain"), kDamagedDomainError, text).report(error);
        return std::nullopt;
    }
    return current.dictionary.deepCopy();
}

bool UserDefaults::setObject(const PlistValue& value, const QString& key, Error* error) {
    QMutexLocker lock(&mutex_);
    std::optional<PlistDictionary> dict = dictionaryToChange(domain_, error);
    if (!dict) return false;
    dict->set(key, value);
    return writeDictionary(*dict, domain_, error);
}

bool UserDefaults::removeObject(const QString& key, Error* error) {
    QMutexLocker lock(&mutex_);
    std::optional<PlistDictionary> dict = dictionaryToChange(domain_, error);
    if (!dict) return false;
    if (!dict->contains(key)) return true;
    dict->remove(key);
    return writeDictionary(*dict, domain_, error);
}
