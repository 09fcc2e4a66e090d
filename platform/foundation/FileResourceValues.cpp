#include "platform/foundation/FileResourceValues.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QFile>
#include <QTimeZone>
#include <cerrno>

namespace {

const char* const kTags = "user.xdg.tags";
const char* const kComment = "user.xdg.comment";
const char* const kCreationDate = "user.pelmora.creation-date";
const char* const kExtensionHidden = "user.pelmora.extension-hidden";

bool setAttribute(const QByteArray& path, const char* name, const QByteArray& value, int* failure) {
    if (::setxattr(path.constData(), name, value.constData(), static_cast<size_t>(value.size()),
                   0) == 0)
        return true;
    *failure = errno;
    return false;
}

// The attribute's whole value, however long (a comment can be); empty when
// it is absent or cannot be read. Asks again when the value grew in between.
QByteArray attribute(const QByteArray& path, const char* name) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t size = ::getxattr(path.constData(), name, nullptr, 0);
        if (size <= 0) return QByteArray();
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t n =
            ::getxattr(path.constData(), name, value.data(), static_cast<size_t>(size));
        if (n >= 0) return value.left(n);
        if (errno != ERANGE) return QByteArray();
    }
    return QByteArray();
}

bool setModificationDate(const QByteArray& path, const QDateTime& date, int* failure) {
    const qint64 ms = date.toMSecsSinceEpoch();
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // keep the access time
    times[1].tv_sec = static_cast<time_t>(ms / 1000);
    times[1].tv_nsec = static_cast<long>((ms % 1000) * 1000000);
    if (::utimensat(AT_FDCWD, path.constData(), times, 0) == 0) return true;
    *failure = errno;
    return false;
}

}  // namespace

bool setResourceValues(const QString& path, const FileResourceValues& values, Error* error) {
    const QByteArray file = QFile::encodeName(path);
    int failure = 0;
    if (values.tagNames) setAttribute(file, kTags, values.tagNames->join(u',').toUtf8(), &failure);
    if (values.comment) setAttribute(file, kComment, values.comment->toUtf8(), &failure);
    if (values.creationDate.isValid())
        setAttribute(file, kCreationDate,
                     values.creationDate.toUTC().toString(Qt::ISODate).toUtf8(), &failure);
    if (values.hasHiddenExtension)
        setAttribute(file, kExtensionHidden, *values.hasHiddenExtension ? "1" : "0", &failure);
    QList<QByteArray> notSet;
    int attributeFailure = 0;
    for (const auto& [name, value] : values.extendedAttributes)
        if (!setAttribute(file, name.constData(), value, &attributeFailure)) notSet << name;
    // The date last: writing attributes does not touch it, but keep the order obvious.
    if (values.contentModificationDate.isValid())
        setModificationDate(file, values.contentModificationDate, &failure);
    if (failure == 0 && notSet.isEmpty()) return true;
    if (notSet.isEmpty()) {
        posixError(failure, path).report(error);
        return false;
    }
    const Error cause = posixError(attributeFailure);
    Error(cause.domain(), cause.code(),
          QStringLiteral("%1: the extended attributes %2 were not set: %3")
              .arg(path, QString::fromUtf8(notSet.join(", ")), cause.localizedDescription()))
        .report(error);
    return false;
}

std::optional<QByteArray> extendedAttribute(const QString& path, const QByteArray& name) {
    const QByteArray file = QFile::encodeName(path);
    if (::getxattr(file.constData(), name.constData(), nullptr, 0) < 0) return std::nullopt;
    return attribute(file, name.constData());
}

FileResourceValues resourceValues(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    FileResourceValues values;
    const QByteArray tags = attribute(file, kTags);
    if (!tags.isEmpty()) values.tagNames = QString::fromUtf8(tags).split(u',');
    const QByteArray comment = attribute(file, kComment);
    if (!comment.isEmpty()) values.comment = QString::fromUtf8(comment);
    values.creationDate =
        QDateTime::fromString(QString::fromUtf8(attribute(file, kCreationDate)), Qt::ISODate);
    const QByteArray hidden = attribute(file, kExtensionHidden);
    if (!hidden.isEmpty()) values.hasHiddenExtension = hidden == "1";
    struct stat st;
    if (::stat(file.constData(), &st) == 0)
        values.contentModificationDate = QDateTime::fromMSecsSinceEpoch(
            qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000, QTimeZone::utc());
    return values;
}
