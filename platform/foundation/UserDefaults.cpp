#include "platform/foundation/UserDefaults.h"

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StandardPaths.h"

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

PlistDictionary cachedDictionary(const QString& path) {
    const qint64 now = monotonicMs();
    {
        QMutexLocker lock(&cacheMutex);
        const auto entry = cache.constFind(path);
        if (entry != cache.constEnd() && now - entry->checkedAtMs < kRecheckIntervalMs)
            return entry->dictionary;
    }
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        QMutexLocker lock(&cacheMutex);
        cache.insert(path, CachedDomain{-1, -1, 0, now, PlistDictionary()});
        return PlistDictionary();
    }
    const qint64 modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    QMutexLocker lock(&cacheMutex);
    CachedDomain& entry = cache[path];
    entry.checkedAtMs = now;
    if (entry.modified == modified && entry.size == st.st_size && entry.inode == st.st_ino)
        return entry.dictionary;
    auto value = PlistValue::readFromFile(path);
    entry = {modified, static_cast<qint64>(st.st_size), static_cast<quint64>(st.st_ino), now,
             value ? value->toDictionary() : PlistDictionary()};
    return entry.dictionary;
}

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

bool UserDefaults::setObject(const PlistValue& value, const QString& key, Error* error) {
    QMutexLocker lock(&mutex_);
    PlistDictionary dict = dictionaryForDomain(domain_);
    dict.set(key, value);
    return writeDictionary(dict, domain_, error);
}

bool UserDefaults::removeObject(const QString& key, Error* error) {
    QMutexLocker lock(&mutex_);
    PlistDictionary dict = dictionaryForDomain(domain_);
    if (!dict.contains(key)) return true;
    dict.remove(key);
    return writeDictionary(dict, domain_, error);
}
