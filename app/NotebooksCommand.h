// `ferrymark notebooks` lists Evernote's notebooks with their note counts;
// `ferrymark import-notebooks [NAME...]` imports the named notebooks, or all
// of them, through Evernote's notebook export, with the progress, summary and
// exit statuses of `ferrymark import` (see CommandLineImport.h). Evernote is
// the installed one; --evernote-folder DIR names its folder of ENEX files
// instead (and stands in for it when none is installed).
#pragma once

#include <QStringList>
#include <QTextStream>

int runNotebooksCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int runImportNotebooksCommand(const QStringList& args, QTextStream& out, QTextStream& err);
extern const char* const kNotebooksUsage;
extern const char* const kImportNotebooksUsage;
