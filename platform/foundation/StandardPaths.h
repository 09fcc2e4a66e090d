// Standard folders, read from the XDG variables at every call so that tests
// can point them at temporary folders.
#pragma once

#include <QString>

namespace StandardPaths {

// The process's temporary directory ($TMPDIR or /tmp).
QString temporaryDirectory();
// $XDG_DATA_HOME, else ~/.local/share: the user's Application Support folder.
QString applicationSupportDirectory();
// The user's Library folder; the same place as Application Support on Linux.
QString libraryDirectory();
// $XDG_CONFIG_HOME, else ~/.config.
QString configDirectory();
// $XDG_STATE_HOME, else ~/.local/state: state worth keeping across launches
// that is not the user's data (crash logs).
QString stateDirectory();
// The operating system's name and version ("Debian GNU/Linux 12 (bookworm)").
QString operatingSystemVersionString();

}  // namespace StandardPaths
