#include "Quorvel/QVFExtensions.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/uti/UniformTypes.h"

namespace {

const QString kDigestErrorDomain = QStringLiteral("QVFDigestErrorDomain");
enum DigestErrorCode { UnsupportedDigest = 1, DigestEngineFailure = 2 };

void logChecksumError(const Error& error) {
    const QByteArray line =
        stringWithFormat(QStringLiteral("Error creating checksum: %@"), {error}).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

// The engine's own reason for the last failure on this thread.
Error engineError() {
    const unsigned long code = ERR_get_error();
    char reason[256] = "unknown failure";
    if (code != 0) ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    return Error(kDigestErrorDomain, DigestEngineFailure,
                 QStringLiteral("The digest engine failed: %1").arg(QString::fromUtf8(reason)));
}

const EVP_MD* sha2Algorithm(int lengthBits) {
    switch (lengthBits) {
        case 224:
            return EVP_sha224();
        case 0:
        case 256:
            return EVP_sha256();
        case 384:
            return EVP_sha384();
        case 512:
            return EVP_sha512();
        default:
            return nullptr;
    }
}

const EVP_MD* algorithmFor(QVFExtensions::DigestType type, int lengthBits) {
    switch (type) {
        case QVFExtensions::DigestType::MD5:
            return lengthBits == 0 || lengthBits == 128 ? EVP_md5() : nullptr;
        case QVFExtensions::DigestType::SHA1:
            return lengthBits == 0 || lengthBits == 160 ? EVP_sha1() : nullptr;
        case QVFExtensions::DigestType::SHA2:
            return sha2Algorithm(lengthBits);
    }
    return nullptr;
}

// Bundles and document packages are folders that users handle as files.
bool isPackageExtension(const QString& suffix) {
    if (suffix.isEmpty()) return false;
    const QString type = UniformTypes::preferredIdentifierForExtension(suffix);
    return UniformTypes::conformsTo(type, QStringLiteral("com.apple.package")) ||
           UniformTypes::conformsTo(type, QStringLiteral("com.apple.bundle"));
}

}  // namespace

namespace QVFExtensions {

std::optional<QByteArray> digestOfType(const QByteArray& data, DigestType type, int lengthBits) {
    const EVP_MD* algorithm = algorithmFor(type, lengthBits);
    if (!algorithm) {
        logChecksumError(Error(kDigestErrorDomain, UnsupportedDigest,
                               QStringLiteral("No digest of type %1 has a length of %2 bits.")
                                   .arg(static_cast<int>(type))
                                   .arg(lengthBits)));
        return std::nullopt;
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_Digest(data.constData(), static_cast<size_t>(data.size()),
                   reinterpret_cast<unsigned char*>(digest.data()), &length, algorithm,
                   nullptr) != 1) {
        logChecksumError(engineError());
        return std::nullopt;
    }
    digest.resize(static_cast<qsizetype>(length));
    return digest;
}

std::optional<QByteArray> MD5Checksum(const QByteArray& data) {
    return digestOfType(data, DigestType::MD5, 0);
}

std::optional<QByteArray> SHA1Digest(const QByteArray& data) {
    return digestOfType(data, DigestType::SHA1, 0);
}

std::optional<QByteArray> SHA256Digest(const QByteArray& data) {
    return digestOfType(data, DigestType::SHA2, 256);
}

std::optional<QByteArray> SHA256HMACWithKey(const QByteArray& data, const QByteArray& key) {
    QByteArray mac(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.constData(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(data.constData()),
              static_cast<size_t>(data.size()), reinterpret_cast<unsigned char*>(mac.data()),
              &length)) {
        logChecksumError(engineError());
        return std::nullopt;
    }
    mac.resize(static_cast<qsizetype>(length));
    return mac;
}

QString hexadecimalString(const QByteArray& data) { return QString::fromLatin1(data.toHex()); }

bool isDirectoryAtPath(const QString& path) {
    const QFileInfo info(QDir::cleanPath(path));  // "Name.app/" names Name.app
    if (!info.isDir()) return false;
    if (isPackageExtension(info.suffix())) return false;
    return !QFileInfo::exists(path + QStringLiteral("/Contents/Info.plist"));
}

}  // namespace QVFExtensions
