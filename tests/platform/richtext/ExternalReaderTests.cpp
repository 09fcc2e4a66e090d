// Checks that the RTF written here opens in independent readers. Each test
// skips when its program is not installed.
#include <gtest/gtest.h>

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "RichTextFixture.h"
#include "platform/richtext/RTFWriter.h"
#include "tests/support/LibreOffice.h"
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
