#include "Quorvel/QVFLogManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <tuple>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/plist/PlistValue.h"

namespace {

// How many earlier logs pruning keeps.
constexpr qsizetype kKeptLogCount = 9;

const QString kFullPathKey = QStringLiteral("QVFFullPath");
const QString kCreationDateKey = QStringLiteral("NSFileCreationDate");
const QString kModificationDateKey = QStringLiteral("NSFileModificationDate");

// The attributes pruning needs, plus the entry's full path; nullopt when they
// cannot be read (the entry is then left alone).
std::optional<PlistDictionary> logFileRecord(const QString& path) {
    const QFileInfo info(path);
    const QDateTime modified = info.lastModified();
    if (!modified.isValid()) return std::nullopt;
    const QDateTime born = info.birthTime();
    PlistDictionary record;
    record.set(kCreationDateKey, born.isValid() ? born : modified);
    record.set(kModificationDateKey, modified);
    record.set(kFullPathKey, path);
    return record;
}

// Oldest first; equal creation dates fall back to modification date and path
// so that the order never depends on the directory walk.
bool isOlder(const PlistDictionary& a, const PlistDictionary& b) {
    const auto key = [](const PlistDictionary& r) {
        return std::make_tuple(r.value(kCreationDateKey).toDate(),
                               r.value(kModificationDateKey).toDate(),
                               r.value(kFullPathKey).toString());
    };
    return key(a) < key(b);
}

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

}  // namespace

QVFLogManager& QVFLogManager::sharedManager() {
    static QVFLogManager manager;
    return manager;
}

QVFLogManager::QVFLogManager() : QVFLogManager(Bundle::main().applicationName()) {}

QVFLogManager::QVFLogManager(const QString& applicationName) : applicationName_(applicationName) {
    rotateLogs();
    applicationLogFile_ =
        QDir(applicationLogDirectory())
            .filePath(logFileNameForDate(applicationName_, QDateTime::currentDateTime()));
}

QString QVFLogManager::applicationLogDirectory() const {
    const QString directory = StandardPaths::applicationSupportDirectory() + u'/' +
                              applicationName_ + QStringLiteral("/Logs");
    QDir().mkpath(directory);
    return directory;
}

void QVFLogManager::redirectStandardErrorToFileAtPath(const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return;
    std::fflush(stderr);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (fd != STDERR_FILENO) {
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
}

void QVFLogManager::rotateLogs() {
    const QString directory = applicationLogDirectory();
    const QString prefix = stringWithFormat(QStringLiteral("%@_"), {applicationName_});
    const QDir base(directory);

    std::vector<PlistDictionary> records;
    QDirIterator entries(directory, QDir::Files | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (!base.relativeFilePath(path).startsWith(prefix)) continue;
        if (auto record = logFileRecord(path)) records.push_back(*record);
    }
    if (static_cast<qsizetype>(records.size()) <= kKeptLogCount) return;

    std::stable_sort(records.begin(), records.end(), isOlder);
    const size_t surplus = records.size() - static_cast<size_t>(kKeptLogCount);
    for (size_t i = 0; i < surplus; ++i) {
        QFile::remove(records[i].value(kFullPathKey).toString());
    }
}

QString QVFLogManager::logFileNameForDate(const QString& applicationName, const QDateTime& date) {
    const QDateTime local = date.toLocalTime();
    const QDate day = local.date();
    const QTime time = local.time();
    const QString stamp =
        QStringLiteral("%1-%2-%3-%4%5%6")
            .arg(day.year(), 4, 10, QLatin1Char('0'))
            .arg(twoDigits(day.month()), twoDigits(day.day()), twoDigits(time.hour()),
                 twoDigits(day.month()), twoDigits(time.msec() / 10));
    return stringWithFormat(QStringLiteral("%@_%@.log"), {applicationName, stamp});
}
