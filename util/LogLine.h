// Time-stamped lines on an output stream: how the import writes its log.
#pragma once

#include <QString>
#include <QtGlobal>

class OutputStream;

namespace QVExtensions {

// Appends "<date> <text>\n" to `stream`, the date being the current time in
// the standard description ("2026-12-07 12:47:03 +0000"), encoded as UTF-8 and
// written in one write, so that lines never interleave with other writers of
// the same file. Returns the bytes written, or -1 when the write fails, the
// stream is closed, or there is no stream (then nothing is written). Callable
// from any thread, one writer per stream at a time.
qint64 writeLogLine(OutputStream* stream, const QString& text);

}  // namespace QVExtensions
