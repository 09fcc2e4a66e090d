#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "platform/foundation/OutputStream.h"
#include "tests/support/TestEnvironment.h"
#include "util/LogLine.h"

using QVExtensions::writeLogLine;

namespace {

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(WriteLogLine, WritesATimeStampedUtf8LineWhole) {
    TestEnvironment env;
    const QString path = env.path("Import.log");
    OutputStream stream(path);
    ASSERT_TRUE(stream.open());
    const QString text = QStringLiteral("Notiz für Zoë: 漢字 \U0001F600");

    const qint64 written = writeLogLine(&stream, text);
    writeLogLine(&stream, QStringLiteral("second"));

    const QString log = QString::fromUtf8(contentsOf(path));
    const QRegularExpression line(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\+0000 (.*)\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\+0000 second\n$");
    const auto match = line.match(log);
    ASSERT_TRUE(match.hasMatch()) << qPrintable(log);
    EXPECT_EQ(match.captured(1), text);
    EXPECT_EQ(written, QByteArray("2026-12-07 12:47:03 +0000 \n").size() + text.toUtf8().size());
}

TEST(WriteLogLine, WritesNothingWithoutAnOpenStream) {
    TestEnvironment env;
    const QString path = env.writeFile("Import.log", "kept\n");
    OutputStream closed(path);

    EXPECT_EQ(writeLogLine(nullptr, QStringLiteral("lost")), -1);
    EXPECT_EQ(writeLogLine(&closed, QStringLiteral("lost")), -1);
    EXPECT_EQ(contentsOf(path), "kept\n");
}
