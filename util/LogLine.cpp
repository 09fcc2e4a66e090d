#include "util/LogLine.h"

#include <QDateTime>

#include "platform/foundation/DateText.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/OutputStream.h"

namespace QVExtensions {

qint64 writeLogLine(OutputStream* stream, const QString& text) {
    if (!stream) return -1;
    const QString line =
        stringWithFormat(QStringLiteral("%@ %@\n"),
                         {standardDateDescription(QDateTime::currentDateTimeUtc()), text});
    return stream->write(line.toUtf8());
}

}  // namespace QVExtensions
