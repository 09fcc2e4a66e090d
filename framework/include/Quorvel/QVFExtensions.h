// Data and file-manager utilities of the framework: message digests (MD5,
// SHA-1, SHA-2, HMAC-SHA-256) of byte buffers, their lower-case hexadecimal
// text, and the "is this a plain folder" question that treats bundles and
// document packages as files. Each function takes the value it works on first.
//
// All functions are stateless and safe to call from any thread. Digest
// failures write "Error creating checksum: %@" to standard error (the system
// log) and give std::nullopt.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "Quorvel/QVFExport.h"

namespace QVFExtensions {

enum class DigestType {
    MD5,   // RFC 1321; 128 bits
    SHA1,  // 160 bits
    SHA2,  // the SHA-2 family: 224, 256, 384 or 512 bits
};

// The digest of `data` of the given type and length in bits; 0 means the
// type's default (MD5 128, SHA-1 160, SHA-2 256). A length the type does not
// have, or a failure of the digest engine, is logged and gives std::nullopt.
QUORVEL_EXPORT std::optional<QByteArray> digestOfType(const QByteArray& data, DigestType type,
                                                      int lengthBits);

// The 16-byte MD5 digest of `data`.
QUORVEL_EXPORT std::optional<QByteArray> MD5Checksum(const QByteArray& data);
// The 20-byte SHA-1 digest of `data`.
QUORVEL_EXPORT std::optional<QByteArray> SHA1Digest(const QByteArray& data);
// The 32-byte SHA-256 digest of `data`.
QUORVEL_EXPORT std::optional<QByteArray> SHA256Digest(const QByteArray& data);
// The 32-byte HMAC-SHA-256 of `data` under `key` (any length, empty too).
QUORVEL_EXPORT std::optional<QByteArray> SHA256HMACWithKey(const QByteArray& data,
                                                           const QByteArray& key);

// Two lower-case hexadecimal digits per byte, in order ("00ff"); "" for no bytes.
QUORVEL_EXPORT QString hexadecimalString(const QByteArray& data);

// True only when an item exists at `path` (symbolic links followed), it is a
// directory, and it is not a package: a directory whose extension's uniform
// type conforms to "com.apple.package" or "com.apple.bundle" (.app, .bundle,
// .framework, .pmnote, .rtfd, .pages and the like, any case), or that holds
// "Contents/Info.plist", counts as a file. False for a missing or unreadable item.
QUORVEL_EXPORT bool isDirectoryAtPath(const QString& path);

}  // namespace QVFExtensions
