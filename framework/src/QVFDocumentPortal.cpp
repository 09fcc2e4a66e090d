#include "Quorvel/QVFDocumentPortal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Documents");
const QString kObjectPath = QStringLiteral("/org/freedesktop/portal/documents");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Documents");
const QString kSandboxInfoPath = QStringLiteral("/.flatpak-info");
const QString kNotFoundError = QStringLiteral("org.freedesktop.portal.Error.NotFound");
const QString kNoReplyError = QStringLiteral("org.freedesktop.DBus.Error.NoReply");

// AddFull flags.
constexpr uint kReuseExisting = 1;
constexpr uint kPersistent = 2;
constexpr uint kExportDirectory = 8;

// The portal returns paths as byte arrays, often with a trailing NUL.
QString pathFromBytes(QByteArray bytes) {
    while (bytes.endsWith('\0')) bytes.chop(1);
    return QFile::decodeName(bytes);
}

Error portalError(const QString& what, const QString& reason) {
    return Error(
        QVFDocumentPortal::errorDomain(), QVFDocumentPortal::PortalUnavailable,
        stringWithFormat(QStringLiteral("The document portal cannot %@: %@"), {what, reason}));
}

}  // namespace

QString QVFDocumentPortal::errorDomain() { return QStringLiteral("QVFDocumentPortalErrorDomain"); }

QVFDocumentPortal::QVFDocumentPortal(const QDBusConnection& connection,
                                     const QString& applicationID, int timeoutMs)
    : connection_(connection), applicationID_(applicationID), timeoutMs_(timeoutMs) {
    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
}

bool QVFDocumentPortal::isInsideSandbox() { return QFileInfo::exists(kSandboxInfoPath); }

std::unique_ptr<QVFDocumentPortal> QVFDocumentPortal::sandboxPortal() {
    if (!isInsideSandbox()) return nullptr;
    const QSettings info(kSandboxInfoPath, QSettings::IniFormat);
    return std::make_unique<QVFDocumentPortal>(
        QDBusConnection::sessionBus(), info.value(QStringLiteral("Application/name")).toString());
}

std::optional<QDBusMessage> QVFDocumentPortal::answerTo(const QDBusMessage& call,
                                                        const QString& what, Error* error) {
    if (!connection_.isConnected()) {
        portalError(what, QStringLiteral("no session bus")).report(error);
        return std::nullopt;
    }
    if (lastSilence_.isValid() && !lastSilence_.hasExpired(kSilenceBackOffMs)) {
        portalError(what, QStringLiteral("it did not answer a moment ago")).report(error);
        return std::nullopt;
    }
    const QDBusMessage reply = connection_.call(call, QDBus::Block, timeoutMs_);
    if (reply.type() == QDBusMessage::ReplyMessage) return reply;
    const QString reason = reply.errorName() + u' ' + reply.errorMessage();
    if (reply.errorName() == kNotFoundError) {
        Error(errorDomain(), DocumentUnknown,
              stringWithFormat(QStringLiteral("The document portal cannot %@: %@"), {what, reason}))
            .report(error);
    } else {
        if (reply.errorName() == kNoReplyError) lastSilence_.start();
        portalError(what, reason).report(error);
    }
    return std::nullopt;
}

std::optional<QString> QVFDocumentPortal::mountPoint(Error* error) {
    if (!mountPoint_.isEmpty()) return mountPoint_;
    const QString what = QStringLiteral("tell its mount point");
    const auto reply = answerTo(QDBusMessage::createMethodCall(kService, kObjectPath, kInterface,
                                                               QStringLiteral("GetMountPoint")),
                                what, error);
    if (!reply) return std::nullopt;
    const QList<QVariant> arguments = reply->arguments();
    if (arguments.isEmpty() || arguments.first().metaType() != QMetaType::fromType<QByteArray>()) {
        portalError(what, QStringLiteral("unexpected answer")).report(error);
        return std::nullopt;
    }
    mountPoint_ = pathFromBytes(arguments.first().toByteArray());
    return mountPoint_;
}

std::optional<QString> QVFDocumentPortal::addDocument(const QString& path, bool isDirectory,
                                                      bool readOnly, Error* error) {
    // An O_PATH descriptor proves that this process can reach the item
    // without opening its contents.
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        Error(errorDomain(), ItemUnreadable,
              stringWithFormat(QStringLiteral("Cannot open %@ to register it"), {path}),
              posixError(errno))
            .report(error);
        return std::nullopt;
    }
    QDBusUnixFileDescriptor descriptor(fd);  // keeps its own duplicate
    ::close(fd);

    QStringList permissions{QStringLiteral("read")};
    if (!readOnly) permissions << QStringLiteral("write");
    const uint flags = kReuseExisting | kPersistent | (isDirectory ? kExportDirectory : 0u);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kObjectPath, kInterface,
                                                       QStringLiteral("AddFull"));
    call << QVariant::fromValue(QList<QDBusUnixFileDescriptor>{descriptor}) << flags
         << applicationID_ << permissions;

    const QString what = stringWithFormat(QStringLiteral("register %@"), {path});
    const auto reply = answerTo(call, what, error);
    if (!reply) return std::nullopt;
    const QStringList ids = reply->arguments().value(0).toStringList();
    if (ids.size() != 1 || ids.first().isEmpty()) {
        portalError(what, QStringLiteral("unexpected answer")).report(error);
        return std::nullopt;
    }
    return ids.first();
}

std::optional<QString> QVFDocumentPortal::documentPath(const QString& documentID, Error* error) {
    const auto mount = mountPoint(error);
    if (!mount) return std::nullopt;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kObjectPath, kInterface, QStringLiteral("Info"));
    call << documentID;
    const QString what = stringWithFormat(QStringLiteral("find document %@"), {documentID});
    const auto reply = answerTo(call, what, error);
    if (!reply) return std::nullopt;
    const QList<QVariant> arguments = reply->arguments();
    if (arguments.isEmpty() || arguments.first().metaType() != QMetaType::fromType<QByteArray>()) {
        portalError(what, QStringLiteral("unexpected answer")).report(error);
        return std::nullopt;
    }
    const QString name = QFileInfo(pathFromBytes(arguments.first().toByteArray())).fileName();
    if (name.isEmpty()) {
        portalError(what, QStringLiteral("the document has no name")).report(error);
        return std::nullopt;
    }
    return *mount + u'/' + documentID + u'/' + name;
}
