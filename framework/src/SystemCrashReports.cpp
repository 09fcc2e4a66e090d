#include "SystemCrashReports.h"

#include <QDir>
#include <QHostInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include "Quorvel/QVFCrashReportController.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"

namespace {

constexpr int kToolTimeoutMs = 10000;

// coredumpctl prints one record per crash, each beginning with its "PID:" line.
QStringList splitRecords(const QString& text) {
    static const QRegularExpression recordStart(QStringLiteral("^(?=\\s*PID: )"),
                                                QRegularExpression::MultilineOption);
    QStringList records;
    for (const QString& record : text.split(recordStart)) {
        if (!record.trimmed().isEmpty()) records.append(record.trimmed() + u'\n');
    }
    return records;
}

}  // namespace

bool SystemCrashReports::collect(const QString& applicationName, const QString& executablePath,
                                 const QDateTime& since, const QString& folder) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("coredumpctl"));
    if (tool.isEmpty() || executablePath.isEmpty()) return false;
    QProcess info;
    info.start(tool,
               {QStringLiteral("info"), QStringLiteral("--no-pager"), QStringLiteral("--quiet"),
                QStringLiteral("--since=@%1").arg(since.toSecsSinceEpoch()), executablePath});
    if (!info.waitForFinished(kToolTimeoutMs)) {
        info.kill();
        info.waitForFinished();
        systemLog(QStringLiteral("coredumpctl did not answer; system crash reports are left out"));
        return false;
    }
    // coredumpctl ends with status 1 when nothing matches.
    if (info.exitStatus() != QProcess::NormalExit || info.exitCode() != 0) return false;
    const QStringList records = splitRecords(QString::fromUtf8(info.readAllStandardOutput()));
    if (records.isEmpty()) return false;

    QDir().mkpath(folder);
    const QString host = QHostInfo::localHostName().section(u'.', 0, 0);
    QSaveFile file(QDir(folder).filePath(
        stringWithFormat(QStringLiteral("%@_system_%@.crash"), {applicationName, host})));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(records.join(QVFCrashReportController::reportSeparator()).toUtf8()) < 0 ||
        !file.commit()) {
        systemLog(stringWithFormat(QStringLiteral("Cannot keep the system crash reports in %@: %@"),
                                   {file.fileName(), file.errorString()}));
        return false;
    }
    return true;
}
