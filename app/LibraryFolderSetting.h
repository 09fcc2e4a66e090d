// The library folder that imports go into when the user picked one in the
// options sheet: the setting "LibraryFolder" of the program's own domain.
// Without it the import goes into Pelmora's own library. Any thread.
#pragma once

#include <QString>

class Error;

namespace LibraryFolderSetting {

inline const QString kKey = QStringLiteral("LibraryFolder");

// The chosen folder, or empty.
QString libraryFolder();
// Records `folder` (an empty one removes the setting).
bool setLibraryFolder(const QString& folder, Error* error = nullptr);
// Makes the next import go into `choice` when it is not empty (the command
// line's --library), else into the chosen folder, else into Pelmora's own
// library.
void applyToNextImport(const QString& choice = QString());

}  // namespace LibraryFolderSetting
