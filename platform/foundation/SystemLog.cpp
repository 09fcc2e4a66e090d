#include "platform/foundation/SystemLog.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>

#include "platform/foundation/Bundle.h"

void systemLog(const QString& text) {
    const QString name = Bundle::main().applicationName();
    const QByteArray line =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + u' ' +
         (name.isEmpty() ? QStringLiteral("ferrymark") : name) + u'[' +
         QString::number(::getpid()) + QStringLiteral("] ") + text + u'\n')
            .toUtf8();
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done,
                                  static_cast<size_t>(line.size() - done));
        if (n <= 0) return;
        done += n;
    }
}
