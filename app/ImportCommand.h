// `ferrymark import FILE.enex...`: imports ENEX files into the Pelmora
// library, headless, on the main event loop. Ctrl-C cancels cleanly. -h or
// --help shows the help (status 0).
// Exit status: 0 when every note was imported; 3 when the run finished but
// notes were skipped (conversion failed) or refused by the library; 1 when it
// failed; 2 for a usage error; 130 when it was cancelled.
#pragma once

#include <QStringList>
#include <QTextStream>

#include "app/CommandLineSyntax.h"

int runImportCommand(const QStringList& args, QTextStream& out, QTextStream& err);
// The command's options and help.
CommandLineSyntax importCommandSyntax();
