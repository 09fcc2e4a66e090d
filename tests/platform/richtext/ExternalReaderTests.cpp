// Checks that the RTF written here opens in independent readers. Each test
// skips when its program is not installed.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "RichTextFixture.h"
#include "platform/richtext/RTFWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

// The words of a text, so that line breaks and spacing do not matter.
QStringList words(QString text) {
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.split(QRegularExpression(QStringLiteral("[\\s\u00a0]+")), Qt::SkipEmptyParts);
}

bool containsInOrder(const QStringList& haystack, const QStringList& needles) {
    qsizetype at = 0;
    for (const QString& needle : needles) {
        at = haystack.indexOf(needle, at);
        if (at < 0) return false;
    }
    return true;
}

void expectStructure(const QString& html) {
    EXPECT_TRUE(html.contains(QStringLiteral("<table")));
    EXPECT_TRUE(html.contains(QStringLiteral("<ul")));
    EXPECT_TRUE(html.contains(QStringLiteral("<ol")));
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"https://example.com/booking?id=7\"")));
    const QStringList text = words(html);
    EXPECT_TRUE(containsInOrder(
        text, {"Travel", "notes",    "Plain,",  "bold,",  "italic", "red,", "underlined",
               "and",    "struck",   "City",    "Nights", "Lisbon", "3",    "Packing",
               "list:",  "Passport", "Tickets", "Visa",   "Camera", "Book", "at",
               "the",    "booking",  "site",    "soon.",  "The",    "end."}))
        << text.join(QLatin1Char(' ')).toStdString();
}

QString writeFixture(const TestEnvironment& env) {
    return env.writeFile(QStringLiteral("fixture.rtf"),
                         RTFWriter::RTFFromAttributedString(RichTextFixture::document()));
}

}  // namespace

TEST(ExternalReaders, PandocSeesTextListsTableAndLink) {
    const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
    if (pandoc.isEmpty()) GTEST_SKIP() << "pandoc is not installed";
    TestEnvironment env;
    QProcess process;
    process.start(pandoc, {"-f", "rtf", "-t", "html", writeFixture(env)});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    expectStructure(QString::fromUtf8(process.readAllStandardOutput()));
}

TEST(ExternalReaders, LibreOfficeSeesTextListsTableAndLink) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "LibreOffice is not installed";
    TestEnvironment env;
    const QString profile =
        QStringLiteral("-env:UserInstallation=file://") + env.path(QStringLiteral("profile"));
    QProcess process;
    process.start(soffice, {profile, "--headless", "--convert-to", "html", "--outdir",
                            env.path("out"), writeFixture(env)});
    ASSERT_TRUE(process.waitForFinished(180000));
    QFile html(env.path(QStringLiteral("out/fixture.html")));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly)) << process.readAllStandardError().toStdString();
    expectStructure(QString::fromUtf8(html.readAll()));
}
