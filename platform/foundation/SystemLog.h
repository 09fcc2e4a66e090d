// The system log: messages from the format classes, the conversion and the
// framework go to standard error (which an import run redirects into its log)
// as one line each: "<date> <app>[<pid>] <text>".
#pragma once

#include <QString>

// Writes one line in a single write, so concurrent writers never tear it. Any thread.
void systemLog(const QString& text);
