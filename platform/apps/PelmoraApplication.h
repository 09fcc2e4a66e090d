// The interface to the Pelmora application, which receives the import: its
// version, its library's folder, bringing it to the front, and importing a
// library import description. importFiles says what the library took.
//
// Item links: the library names each of its items by a link of its own
// scheme, "pelmora://item/<identifier>", with the item's identifier as the
// library import description gave it ("identifier" of the item). A note that
// links to another item of the library carries such a link in its text; the
// library leads it to the item wherever the item was filed.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>

#include "platform/apps/PelmoraImportResult.h"
#include "platform/apps/PelmoraLibraryQuery.h"
#include "platform/apps/Workspace.h"

// The import method of a library import description.
constexpr quint32 kPelmoraImportMethodLibraryDescription = fourCharCode("Pfcp");

class PelmoraApplication {
  public:
    // The edition outside the sandbox and the sandboxed one, in the order tried.
    static constexpr const char* kBundleIdentifier = "com.quorvel.Pelmora3";
    static constexpr const char* kSandboxedBundleIdentifier = "com.quorvel.Pelmora3.mac";
    static QStringList bundleIdentifiers() {
        return {QString::fromLatin1(kBundleIdentifier),
                QString::fromLatin1(kSandboxedBundleIdentifier)};
    }

    // The installed edition with this identifier; when no edition at all is
    // installed and no bundle in the application folders is unreadable, the
    // built-in one answers to kBundleIdentifier. nullptr otherwise.
    static std::shared_ptr<PelmoraApplication> applicationWithBundleIdentifier(
        const QString& bundleIdentifier);
    // The running edition, among `bundleIdentifiers` in that order, whose
    // process is `pid`, or nullptr. Other applications running in the same
    // process (the Evernote stand-in) are never taken for Pelmora.
    static std::shared_ptr<PelmoraApplication> applicationWithProcessIdentifier(
        qint64 pid, const QStringList& bundleIdentifiers = PelmoraApplication::bundleIdentifiers());

    // The item link that names the item `identifier`.
    static QUrl itemLinkURL(const QString& identifier) {
        QUrl url;
        url.setScheme(QStringLiteral("pelmora"));
        url.setHost(QStringLiteral("item"));
        url.setPath(u'/' + identifier);
        return url;
    }
    // The identifier that the item link `url` names, or an empty text when
    // `url` is no item link.
    static QString identifierOfItemLink(const QUrl& url) {
        if (url.scheme() != QLatin1String("pelmora") || url.host() != QLatin1String("item"))
            return QString();
        const QString path = url.path();
        if (path.size() < 2 || path.indexOf(u'/', 1) >= 0) return QString();
        return path.mid(1);
    }

    virtual ~PelmoraApplication() = default;
    virtual QString bundleIdentifier() const = 0;
    virtual QString version() const = 0;
    // The folder of the library that an import goes into; empty when unknown.
    virtual QString libraryPath() const = 0;
    virtual void activate() = 0;
    // `importFiles:by:to:withRating:withComments:withLabel:withTags:`. Imports
    // each library import description in `files` (method
    // kPelmoraImportMethodLibraryDescription) and returns, over all of them,
    // the number of items the library took, every item it refused with the
    // reason (such items stay where they are), or the error that made the
    // import fail as a whole. Blocks until the import is done.
    virtual PelmoraImportResult importFiles(const QStringList& files, quint32 method,
                                            const QString& destination, int rating,
                                            const QString& comments, int label,
                                            const QString& tags) = 0;
    // Opens a query into what the library of libraryPath() already holds
    // (PelmoraLibraryQuery), for an import that must not add a note twice;
    // nullptr with the error when the library cannot be asked (its index is
    // damaged, locked by another process, or from a newer version): an import
    // then imports nothing.
    virtual std::unique_ptr<PelmoraLibraryQuery> openLibraryQuery(Error* error = nullptr) = 0;
};
