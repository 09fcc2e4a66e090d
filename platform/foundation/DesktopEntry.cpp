#include "platform/foundation/DesktopEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <cerrno>

namespace {

// Larger files are no desktop entries; the limit keeps a mistaken read cheap.
constexpr qint64 kMaximumSize = 1 << 20;

const QString kGroup = QStringLiteral("[Desktop Entry]");

QString unescaped(const QString& value) {
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            result.append(c);
            continue;
        }
        switch (value.at(++i).unicode()) {
            case u's':
                result.append(u' ');
                break;
            case u'n':
                result.append(u'\n');
                break;
            case u't':
                result.append(u'\t');
                break;
            case u'r':
                result.append(u'\r');
                break;
            case u'\\':
                result.append(u'\\');
                break;
            default:
                result.append(c).append(value.at(i));  // not an escape: kept as written
        }
    }
    return result;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::fromData(const QByteArray& data) {
    if (data.size() > kMaximumSize) return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError() || text.contains(QChar(0))) return std::nullopt;

    DesktopEntry entry;
    bool inGroup = false;
    bool sawGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            inGroup = line == kGroup;
            sawGroup = sawGroup || inGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals <= 0) continue;
        const QString key = line.left(equals).trimmed().toString();
        // The first occurrence of a key counts, as in the desktop's own readers.
        if (!entry.values_.contains(key))
            entry.values_.insert(key, unescaped(line.mid(equals + 1).trimmed().toString()));
    }
    if (!sawGroup) return std::nullopt;
    return entry;
}

std::optional<DesktopEntry> DesktopEntry::readFromFile(const QString& path, Error* error) {
    // Non-blocking, so that a named pipe with this name never holds the reader up.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        posixError(errno, path).report(error);
        return std::nullopt;
    }
    // Room for the whole file, and one byte more to tell a file over the limit.
    struct stat info;
    const qint64 expected = ::fstat(fd, &info) == 0 ? qint64(info.st_size) : kMaximumSize;
    QByteArray data(std::min(expected, kMaximumSize) + 1, Qt::Uninitialized);
    qsizetype size = 0;
    while (size < data.size()) {
        const ssize_t n = ::read(fd, data.data() + size, static_cast<size_t>(data.size() - size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int failure = errno;
            ::close(fd);
            posixError(failure, path).report(error);
            return std::nullopt;
        }
        if (n == 0) break;
        size += n;
    }
    ::close(fd);
    data.truncate(size);
    auto entry = fromData(data);
    if (!entry) posixError(EINVAL, path).report(error);
    return entry;
}

bool DesktopEntry::hasDesktopEntryName(const QString& path) {
    return path.endsWith(QStringLiteral(".desktop"));
}

QString DesktopEntry::value(const QString& key) const { return values_.value(key); }

QString DesktopEntry::localizedValue(const QString& key) const {
    const QString locale = QLocale().name();  // "de_DE"
    for (const QString& variant : {locale, locale.section(u'_', 0, 0)}) {
        const auto found = values_.constFind(key + u'[' + variant + u']');
        if (found != values_.cend()) return *found;
    }
    return value(key);
}

QUrl DesktopEntry::url() const {
    const QString text = value(QStringLiteral("URL"));
    return text.isEmpty() ? QUrl() : QUrl(text, QUrl::TolerantMode);
}
