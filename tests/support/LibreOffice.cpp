#include "tests/support/LibreOffice.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "tests/support/TestEnvironment.h"

// LibreOffice sometimes aborts while it sets up a fresh profile, before it
// reads the file: such a run is tried once more, and a second failure fails.
QByteArray convertWithLibreOffice(const QString& soffice, const TestEnvironment& env,
                                  const QString& path, const QString& format) {
    const QString profile =
        QStringLiteral("-env:UserInstallation=file://") + env.path(QStringLiteral("profile"));
    QFile converted(env.path(QStringLiteral("out/")) + QFileInfo(path).completeBaseName() +
                    QLatin1Char('.') + format.section(QLatin1Char(':'), 0, 0));
    QByteArray errors;
    for (int attempt = 0; attempt < 2 && !converted.exists(); ++attempt) {
        QProcess process;
        process.start(soffice, {profile, "--headless", "--convert-to", format, "--outdir",
                                env.path("out"), path});
        EXPECT_TRUE(process.waitForFinished(180000));
        errors += process.readAllStandardError();
    }
    EXPECT_TRUE(converted.open(QIODevice::ReadOnly)) << errors.toStdString();
    return converted.readAll();
}
