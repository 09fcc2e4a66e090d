// `ferrymark defaults`: reads, writes and deletes user defaults so that users
// can set the hidden settings ("UseHTMLExport", "ExportDebug", "ReloadFromWeb").
#pragma once

#include <QStringList>
#include <QTextStream>

// args: read|write|delete DOMAIN [KEY [VALUE]]. VALUE is typed like the
// platform's tool: YES/NO/true/false as booleans, integers and reals as
// numbers, anything else as a string; "-bool", "-int", "-float", "-string"
// force the type (a negative number is always a value; after "--" every word
// is one). -h or --help shows the help. Returns the exit status.
int runDefaultsCommand(const QStringList& args, QTextStream& out, QTextStream& err);
