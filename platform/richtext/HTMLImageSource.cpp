#include "platform/richtext/HTMLImageSource.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "platform/foundation/FileNameLength.h"
#include "platform/uti/UniformTypes.h"

namespace {

// Whether `source` begins with a URL scheme ("http:", "file:", "c:"...).
bool hasScheme(const QString& source) {
    const qsizetype colon = source.indexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const QChar c = source.at(i);
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') ||
              c == QLatin1Char('.')))
            return false;
    }
    return source.at(0).isLetter();
}

// The image in `file` named with its format's extension where its own name
// lacks it ("photo.png?size=large" gives "photo.png?size=large.png"), so that
// readers of the package show a picture rather than a file. Bytes that are no
// image Qt knows keep their name.
FileWrapper withImageExtension(FileWrapper file) {
    QByteArray bytes = file.regularFileContents();
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return file;
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty()) return file;
    const QString type = UniformTypes::preferredIdentifierForExtension(QString::fromLatin1(format));
    if (!UniformTypes::isDeclared(type)) return file;
    const QString name = file.preferredFilename();
    const QString named = UniformTypes::fileNameWithExtensionForType(name, type);
    if (named != name) file.setPreferredFilename(FileNameLength::fittedName(named));
    return file;
}

}  // namespace

HTMLImageSource::HTMLImageSource(const QUrl& documentURL) : documentURL_(documentURL) {
    if (!documentURL.isLocalFile()) return;
    const QString path = documentURL.toLocalFile();
    const QFileInfo info(path);
    folder_ = path.endsWith(QLatin1Char('/')) || info.isDir() ? QDir(path).absolutePath()
                                                              : info.absolutePath();
    canonicalFolder_ = QFileInfo(folder_).canonicalFilePath();
}

std::optional<TextAttachment> HTMLImageSource::attachmentForSource(
    const QString& source, const QSizeF& displaySize) const {
    const std::optional<FileWrapper> file = fileWrapperForSource(source.trimmed());
    if (!file || file->regularFileContents().isEmpty()) return std::nullopt;
    TextAttachment attachment(*file);
    if (displaySize.width() > 0 || displaySize.height() > 0)
        attachment.setDisplaySize(scaledSize(displaySize, file->regularFileContents()));
    return attachment;
}

std::optional<FileWrapper> HTMLImageSource::fileWrapperFromDataURL(const QString& url) {
    if (!url.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) return std::nullopt;
    const qsizetype comma = url.indexOf(QLatin1Char(','));
    if (comma < 0) return std::nullopt;
    const QStringList parameters = url.mid(5, comma - 5).split(QLatin1Char(';'));
    const bool isBase64 =
        parameters.size() > 1 &&
        parameters.last().trimmed().compare(QLatin1String("base64"), Qt::CaseInsensitive) == 0;
    QByteArray bytes = QByteArray::fromPercentEncoding(url.mid(comma + 1).toUtf8());
    if (isBase64) {
        bytes = bytes.simplified().replace(' ', QByteArray());
        bytes = QByteArray::fromBase64(bytes);
    }
    const QString mimeType = parameters.first().trimmed();
    const QString extension =
        UniformTypes::preferredExtension(UniformTypes::preferredIdentifierForMIMEType(mimeType));
    const QString name =
        extension.isEmpty() ? QStringLiteral("image") : QStringLiteral("image.") + extension;
    return FileWrapper::regularFile(bytes, name);
}

bool HTMLImageSource::isAllowedPath(const QString& path) const {
    if (canonicalFolder_.isEmpty()) return false;
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !QFileInfo(canonical).isFile()) return false;
    const QString prefix = canonicalFolder_.endsWith(QLatin1Char('/'))
                               ? canonicalFolder_
                               : canonicalFolder_ + QLatin1Char('/');
    return canonical.startsWith(prefix);
}

std::optional<FileWrapper> HTMLImageSource::fileWrapperForSource(const QString& source) const {
    if (source.isEmpty()) return std::nullopt;
    if (source.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return fileWrapperFromDataURL(source);
    if (canonicalFolder_.isEmpty()) return std::nullopt;

    QStringList candidates;
    if (!hasScheme(source) && !source.startsWith(QLatin1Char('/')))
        candidates.append(QDir::cleanPath(QDir(folder_).filePath(source)));
    const QUrl resolved = documentURL_.resolved(QUrl(source, QUrl::TolerantMode));
    if (resolved.isLocalFile()) candidates.append(QDir::cleanPath(resolved.toLocalFile()));

    for (const QString& path : candidates) {
        if (!isAllowedPath(path)) continue;
        if (std::optional<FileWrapper> file = FileWrapper::readFromPath(path))
            return withImageExtension(*std::move(file));
    }
    return std::nullopt;
}

QSizeF HTMLImageSource::scaledSize(const QSizeF& requested, const QByteArray& image) {
    if (requested.width() > 0 && requested.height() > 0) return requested;
    QBuffer buffer;
    buffer.setData(image);
    buffer.open(QIODevice::ReadOnly);
    return scaledSize(requested, QImageReader(&buffer).size());
}

QSizeF HTMLImageSource::scaledSize(const QSizeF& requested, const QSize& natural) {
    if (requested.width() > 0 && requested.height() > 0) return requested;
    if (natural.width() <= 0 || natural.height() <= 0) return QSizeF();
    const double ratio = double(natural.height()) / natural.width();
    if (requested.width() > 0) return QSizeF(requested.width(), requested.width() * ratio);
    return QSizeF(requested.height() / ratio, requested.height());
}
