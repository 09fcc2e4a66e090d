// `ferrymark defaults`: reads, writes and deletes user defaults so that users
// can set the hidden settings ("UseHTMLExport", "ExportDebug", "ReloadFromWeb").
#pragma once

#include <QStringList>
#include <QTextStream>

// args: read|write|delete DOMAIN [KEY [VALUE]]. VALUE is typed like the
// platform's tool: YES/NO/true/false as booleans, integers and reals as
// numbers, anything else as a string; "-bool", "-int", "-float", "-string"
// before the value force the type. Returns the exit status.
int runDefaultsCommand(const QStringList& args, QTextStream& out, QTextStream& err);
