// The window program: `ferrymark` without arguments on a desktop. Starts the
// application's event loop with the main window and its controller
// (AppDelegate), whose launch runs as soon as the loop does.
#pragma once

#include <QStringList>

// Whether there is a display to open a window on: DISPLAY or WAYLAND_DISPLAY
// is set, or QT_QPA_PLATFORM names a platform explicitly.
bool hasDisplayForWindow();

// Runs the window program until the user quits; returns the exit status. The
// window first imports `filesToOpen`, ENEX files given on the command line.
int runWindowProgram(int& argc, char** argv, const QStringList& filesToOpen = {});
