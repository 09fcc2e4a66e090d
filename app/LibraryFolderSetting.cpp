#include "app/LibraryFolderSetting.h"

#include <QFileInfo>

#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/UserDefaults.h"

namespace LibraryFolderSetting {

QString libraryFolder() { return UserDefaults::standard().stringForKey(kKey); }

bool setLibraryFolder(const QString& folder, Error* error) {
    if (folder.isEmpty()) return UserDefaults::standard().removeObject(kKey, error);
    return UserDefaults::standard().setObject(QFileInfo(folder).absoluteFilePath(), kKey, error);
}

void applyToNextImport(const QString& choice) {
    const QString folder = choice.isEmpty() ? libraryFolder() : choice;
    PelmoraStandIn::setLibraryPathOverride(folder.isEmpty() ? QString()
                                                            : QFileInfo(folder).absoluteFilePath());
}

}  // namespace LibraryFolderSetting
