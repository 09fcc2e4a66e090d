#include "enex/EvernoteXMLResource.h"

#include <Quorvel/QVFExtensions.h>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>

#include "platform/foundation/DateText.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/richtext/FileWrapper.h"
#include "platform/uti/UniformTypes.h"
#include "util/Base64.h"

namespace {

Error noContentError() {
    return Error(kEvernoteXMLResourceErrorDomain, EvernoteXMLResourceNoContentData,
                 localizedString("No content data for resource."));
}

Error invalidContentError(const Error& underlying = Error()) {
    return Error(kEvernoteXMLResourceErrorDomain, EvernoteXMLResourceInvalidContentData,
                 localizedString("Invalid content data for resource."), underlying);
}

// A spool failure as the note's error: the lack of space as it stands (it
// says what to do), a system error beneath the generic text.
Error spoolFailure(const Error& spoolError) {
    if (spoolError.domain() == kEvernoteXMLResourceErrorDomain &&
        spoolError.code() == EvernoteXMLResourceNotEnoughSpace)
        return spoolError;
    return invalidContentError(spoolError);
}

QString byteCountText(qint64 bytes) { return QLocale::system().formattedDataSize(bytes, 1); }

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace

EvernoteXMLResource::EvernoteXMLResource() : identifier(makeUUIDString()) {}

EvernoteXMLResource::EvernoteXMLResource(const QString& spoolFolder, qint64 memoryLimit)
    : identifier(makeUUIDString()), spoolFolder_(spoolFolder), memoryLimit_(memoryLimit) {}

EvernoteXMLResource::~EvernoteXMLResource() { removeSpoolFile(); }

void EvernoteXMLResource::removeSpoolFile() {
    if (spoolFile_ >= 0) ::close(spoolFile_);
    spoolFile_ = -1;
    if (!spoolPath_.isEmpty()) ::unlink(QFile::encodeName(spoolPath_).constData());
    spoolPath_.clear();
}

void EvernoteXMLResource::appendBase64Text(QStringView text) {
    decoder_.append(text);
    if (!spoolFolder_.isEmpty() && decoder_.decodedSize() >= memoryLimit_)
        spill(decoder_.takeDecoded());
}

// Adds `bytes` to the spool file, opening it the first time. The first
// failure is kept; the digest goes on counting.
void EvernoteXMLResource::spill(const QByteArray& bytes) {
    md5_.addData(bytes);
    if (!spoolError_.isNull()) return;
    if (spoolPath_.isEmpty()) {
        const QString path =
            spoolFolder_ + QStringLiteral("/.") + identifier + QStringLiteral(".attachment");
        spoolFile_ = ::open(QFile::encodeName(path).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (spoolFile_ < 0) {
            spoolError_ = posixError(errno, path);
            return;
        }
        spoolPath_ = path;
    }
    if (!hasRoomFor(bytes.size())) return;
    if (!writeAll(spoolFile_, bytes)) spoolError_ = posixError(errno, spoolPath_);
    spooledBytes_ += bytes.size();
}

// Whether `bytes` more still leave the reserve free in the spool folder; if
// not, the failure is kept. An unknown free space lets the write find out.
bool EvernoteXMLResource::hasRoomFor(qint64 bytes) {
    const auto available =
        freeSpace_ ? freeSpace_(spoolFolder_) : FileOperations::availableBytes(spoolFolder_);
    if (!available || *available >= bytes + kFreeSpaceReserve) return true;
    const QString name = attributes.filename.isEmpty() ? identifier : attributes.filename;
    spoolError_ = Error(
        kEvernoteXMLResourceErrorDomain, EvernoteXMLResourceNotEnoughSpace,
        stringWithFormat(
            localizedString("There is not enough free space in “%@” for the attachment “%@”: it "
                            "needs more than %@, and %@ is free."),
            {spoolFolder_, name, byteCountText(spooledBytes_ + bytes), byteCountText(*available)}));
    return false;
}

Error EvernoteXMLResource::decodeRest() {
    if (base64Data.isEmpty() && !decoder_.hasInput()) return noContentError();
    decoder_.append(base64Data);
    base64Data.clear();  // the decoded bytes replace their text: a large attachment is held once
    std::optional<QByteArray> rest = decoder_.finish();
    if (!rest) return invalidContentError();
    const bool inMemory = spoolFolder_.isEmpty() || (spoolPath_.isEmpty() && spoolError_.isNull() &&
                                                     rest->size() < memoryLimit_);
    if (inMemory) {
        contentData_ = std::move(rest);
        return Error();
    }
    spill(*rest);
    if (spoolFile_ >= 0 && ::close(std::exchange(spoolFile_, -1)) != 0 && spoolError_.isNull())
        spoolError_ = posixError(errno, spoolPath_);
    if (!spoolError_.isNull()) return spoolFailure(spoolError_);
    md5Hash_ = QString::fromLatin1(md5_.result().toHex());
    return Error();
}

bool EvernoteXMLResource::finishDecoding(Error* error) {
    if (!finished_) {
        finished_ = true;
        decodeError_ = decodeRest();
        if (!decodeError_.isNull()) removeSpoolFile();
    }
    if (decodeError_.isNull()) return true;
    decodeError_.report(error);
    return false;
}

bool EvernoteXMLResource::wasStored(Error* error) const {
    if (spoolError_.isNull()) return true;
    spoolError_.report(error);
    return false;
}

std::optional<QByteArray> EvernoteXMLResource::getContentData(Error* error) {
    if (!finishDecoding(error)) return std::nullopt;
    if (contentData_) return contentData_;
    QFile file(spoolPath_);
    if (!file.open(QIODevice::ReadOnly)) {
        invalidContentError(posixError(ENOENT, spoolPath_)).report(error);
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QString> EvernoteXMLResource::md5Hash(Error* error) {
    if (md5Hash_) return md5Hash_;
    if (!finishDecoding(error)) return std::nullopt;
    if (md5Hash_) return md5Hash_;
    const auto digest = QVFExtensions::MD5Checksum(*contentData_);
    if (!digest) return std::nullopt;
    md5Hash_ = QVFExtensions::hexadecimalString(*digest);
    return md5Hash_;
}

int EvernoteXMLResource::itemType() const {
    QString type;
    if (!mime.isEmpty()) {
        type = UniformTypes::preferredIdentifierForMIMEType(mime);
    } else {
        const QString extension = QFileInfo(attributes.filename).suffix();
        if (extension.isEmpty()) return EvernoteItemTypeDocument;
        type = UniformTypes::preferredIdentifierForExtension(extension);
    }
    const std::pair<const char*, int> order[] = {
        {"public.image", EvernoteItemTypeImage},
        {"public.movie", EvernoteItemTypeMovie},
        {"public.audio", EvernoteItemTypeSound},
        {"com.apple.webarchive", EvernoteItemTypeWebPage},
        {"public.html", EvernoteItemTypeWebPage},
        {"com.apple.web-internet-location", EvernoteItemTypeBookmark},
    };
    for (const auto& [parent, itemType] : order)
        if (UniformTypes::conformsTo(type, QString::fromLatin1(parent))) return itemType;
    return EvernoteItemTypeDocument;
}

bool EvernoteXMLResource::writeToURL(const QString& path, Error* error) {
    if (!finishDecoding(error)) return false;
    // The system's own reason (a full disk, a read-only folder) travels with the error.
    if (contentData_)
        return FileOperations::writeFile(path, *contentData_, FileOperations::WriteMode::Truncate,
                                         error);
    // Linked (copied across file systems), never moved: a note may write the
    // same attachment again, as a web clip falling back to a note package does.
    return FileWrapper::regularFileWithContentsOfPath(spoolPath_).writeToPath(path, false, error);
}
