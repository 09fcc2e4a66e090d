// The interface to the Pelmora application, which receives the import: its
// version, bringing it to the front, and importing a library import
// description. Neither activate nor importFiles reports a result.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "platform/apps/Workspace.h"

// The import method of a library import description.
constexpr quint32 kPelmoraImportMethodLibraryDescription = fourCharCode("Pfcp");

class PelmoraApplication {
public:
    // The edition outside the sandbox and the sandboxed one, in the order tried.
    static constexpr const char* kBundleIdentifier = "com.quorvel.Pelmora3";
    static constexpr const char* kSandboxedBundleIdentifier = "com.quorvel.Pelmora3.mac";
    static QStringList bundleIdentifiers() {
        return {QString::fromLatin1(kBundleIdentifier), QString::fromLatin1(kSandboxedBundleIdentifier)};
    }

    // The installed edition with this identifier; when no edition at all is
    // installed, the built-in one answers to kBundleIdentifier. nullptr otherwise.
    static std::shared_ptr<PelmoraApplication> applicationWithBundleIdentifier(
        const QString& bundleIdentifier);
    // The running edition with this process identifier, or nullptr.
    static std::shared_ptr<PelmoraApplication> applicationWithProcessIdentifier(qint64 pid);

    virtual ~PelmoraApplication() = default;
    virtual QString bundleIdentifier() const = 0;
    virtual QString version() const = 0;
    virtual void activate() = 0;
    // `importFiles:by:to:withRating:withComments:withLabel:withTags:`.
    virtual void importFiles(const QStringList& files, quint32 method, const QString& destination,
                             int rating, const QString& comments, int label,
                             const QString& tags) = 0;
};
