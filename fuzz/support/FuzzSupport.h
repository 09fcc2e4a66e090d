// What every fuzz target needs before its first input: a Qt application on
// the offscreen platform (fonts and images work as in the program) and
// hermetic folders, so that nothing a target writes lands in the user's home.
#pragma once

#include <QByteArray>
#include <QString>

namespace FuzzSupport {

// Starts the application once; call from LLVMFuzzerInitialize.
void startApplication(int* argc, char*** argv);

// A scratch folder of this process (removed at exit).
QString scratchFolder();

}  // namespace FuzzSupport
