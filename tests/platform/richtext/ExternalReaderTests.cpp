// Checks that the RTF written here opens in independent readers. Each test
// skips when its program is not installed.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

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

// Converts the RTF file at `path` with LibreOffice into `format` in the
// environment's "out" folder, with a private profile; returns what it wrote.
// LibreOffice sometimes aborts while it sets up a fresh profile, before it
// reads the file: that run is tried once more, and a second failure fails.
QByteArray convertWithLibreOffice(const QString& soffice, const TestEnvironment& env,
                                  const QString& path, const QString& format) {
    const QString profile =
        QStringLiteral("-env:UserInstallation=file://") + env.path(QStringLiteral("profile"));
    QFile converted(env.path(QStringLiteral("out/")) + QFileInfo(path).completeBaseName() +
                    QLatin1Char('.') + format);
    QByteArray errors;
    for (int attempt = 0; attempt < 2 && !converted.exists(); ++attempt) {
        QProcess process;
        process.start(soffice, {profile, "--headless", "--convert-to", format, "--outdir",
                                env.path("out"), path});
        EXPECT_TRUE(process.waitForFinished(180000));
        errors += process.readAllStandardError();
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) break;
    }
    EXPECT_TRUE(converted.open(QIODevice::ReadOnly)) << errors.toStdString();
    return converted.readAll();
}

// The background colour a flat OpenDocument text gives to the span that
// holds `needle` ("none" when its style has none).
QString spanBackground(const QByteArray& document, const QString& needle) {
    QHash<QString, QString> backgrounds;  // automatic style name -> fo:background-color
    QString style;
    QString spanStyle;
    QXmlStreamReader xml(document);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.qualifiedName() == QLatin1String("style:style"))
            style = xml.attributes().value(QStringLiteral("style:name")).toString();
        if (xml.isStartElement() && xml.qualifiedName() == QLatin1String("style:text-properties") &&
            xml.attributes().hasAttribute(QStringLiteral("fo:background-color")))
            backgrounds.insert(
                style, xml.attributes().value(QStringLiteral("fo:background-color")).toString());
        if (xml.isStartElement() && xml.qualifiedName() == QLatin1String("text:span"))
            spanStyle = xml.attributes().value(QStringLiteral("text:style-name")).toString();
        if (xml.isEndElement() && xml.qualifiedName() == QLatin1String("text:span"))
            spanStyle.clear();
        if (xml.isCharacters() && xml.text().contains(needle))
            return backgrounds.value(spanStyle, QStringLiteral("none"));
    }
    return QStringLiteral("(") + needle + QStringLiteral(" not found)");
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
    expectStructure(QString::fromUtf8(
        convertWithLibreOffice(soffice, env, writeFixture(env), QStringLiteral("html"))));
}

TEST(ExternalReaders, LibreOfficeShowsHighlights) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "LibreOffice is not installed";
    TestEnvironment env;
    TextAttributes highlighted = RichTextFixture::plain();
    highlighted.backgroundColor = QColor(255, 239, 158);
    AttributedString text(QStringLiteral("before "), RichTextFixture::plain());
    text.append(QStringLiteral("highlighted"), highlighted);
    text.append(QStringLiteral(" after"), RichTextFixture::plain());
    const QString path =
        env.writeFile(QStringLiteral("highlight.rtf"), RTFWriter::RTFFromAttributedString(text));

    const QByteArray document = convertWithLibreOffice(soffice, env, path, QStringLiteral("fodt"));
    EXPECT_EQ(spanBackground(document, QStringLiteral("highlighted")).toLower(),
              QStringLiteral("#ffef9e"));
    EXPECT_EQ(spanBackground(document, QStringLiteral("after")), QStringLiteral("none"));
}
