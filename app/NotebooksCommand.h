// `ferrymark notebooks` lists Evernote's notebooks with their note counts;
// `ferrymark import-notebooks [NAME...]` imports the named notebooks, or all
// of them, through Evernote's notebook export, with the progress, summary and
// exit statuses of `ferrymark import` (see CommandLineImport.h). Evernote is
// the installed one; --evernote-folder DIR names its folder of ENEX files
// instead (and stands in for it when none is installed). -h or --help shows
// a command's help (status 0).
#pragma once

#include <QStringList>
#include <QTextStream>

#include "app/CommandLineSyntax.h"

int runNotebooksCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int runImportNotebooksCommand(const QStringList& args, QTextStream& out, QTextStream& err);
// The commands' options and help.
CommandLineSyntax notebooksCommandSyntax();
CommandLineSyntax importNotebooksCommandSyntax();
