// The description of the newest version of a product, as the update service
// publishes it. On the wire it is a keyed archive (the platform's
// NSKeyedArchiver format) whose root object is an instance of class
// "QVFSWUpdateInfo" with the entries "productIdentifier", "productName",
// "versionString", "systemVersion" (strings), "directDownloadURL",
// "productPageURL", "updateInfoURL", "appStoreURL" (NSURL objects) and
// "versionIdentifier" (an inline integer). archivedData() writes exactly that,
// so the service's file can be made with this class.
//
// A value type; stateless apart from its fields; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

#include "Quorvel/QVFExport.h"

class QUORVEL_EXPORT QVFSWUpdateInfo {
  public:
    QString productIdentifier() const { return productIdentifier_; }
    void setProductIdentifier(const QString& value) { productIdentifier_ = value; }
    QString productName() const { return productName_; }
    void setProductName(const QString& value) { productName_ = value; }
    // The version number every comparison uses.
    qint64 versionIdentifier() const { return versionIdentifier_; }
    void setVersionIdentifier(qint64 value) { versionIdentifier_ = value; }
    // The version for display.
    QString versionString() const { return versionString_; }
    void setVersionString(const QString& value) { versionString_ = value; }
    QUrl directDownloadURL() const { return directDownloadURL_; }
    void setDirectDownloadURL(const QUrl& value) { directDownloadURL_ = value; }
    QUrl productPageURL() const { return productPageURL_; }
    void setProductPageURL(const QUrl& value) { productPageURL_ = value; }
    // The release-notes page the update panel shows.
    QUrl updateInfoURL() const { return updateInfoURL_; }
    void setUpdateInfoURL(const QUrl& value) { updateInfoURL_ = value; }
    // The product's store page; may be empty.
    QUrl appStoreURL() const { return appStoreURL_; }
    void setAppStoreURL(const QUrl& value) { appStoreURL_ = value; }
    // The lowest system version the new version runs on: "major.minor" or
    // longer ("2.31", "2.36.1"). On Linux that is the GNU C library's
    // version: a build runs wherever the C library is at least the one it was
    // linked against, whatever the distribution, so it is the one system
    // version a feed can state for every Linux system.
    QString systemVersion() const { return systemVersion_; }
    void setSystemVersion(const QString& value) { systemVersion_ = value; }

    // The host's own version for display (its "CFBundleShortVersionString").
    static QString currentVersionString();
    // The running system's version as systemVersion() means it: the GNU C
    // library's ("2.36").
    static QString runningSystemVersion();

    // Whether the running system is at least systemVersion(). Versions are
    // compared part by part as numbers ("2.10" is newer than "2.9", a missing
    // part counts as 0, "2.36.1" is newer than "2.36"); each part reads as
    // the digits it begins with, and the parts end at the first one without
    // leading digits ("12b.4rc" is 12). A requirement with fewer than two
    // parts, or none that reads as a version, is none (compatible), as is a
    // running version that cannot be read; nothing in either string can make
    // the check fail otherwise.
    bool isOperatingSystemVersionCompatible() const;
    // The same against a given running version.
    bool isOperatingSystemVersionCompatible(const QString& runningVersion) const;

    // The keyed archive of this info (above).
    QByteArray archivedData() const;
    // The info in a keyed archive; nullopt, with a message in *error, when the
    // data is not an archive or its root is not a QVFSWUpdateInfo.
    static std::optional<QVFSWUpdateInfo> fromArchivedData(const QByteArray& data,
                                                           QString* error = nullptr);

  private:
    QString productIdentifier_;
    QString productName_;
    qint64 versionIdentifier_ = 0;
    QString versionString_;
    QUrl directDownloadURL_;
    QUrl productPageURL_;
    QUrl updateInfoURL_;
    QUrl appStoreURL_;
    QString systemVersion_;
};
