#include <gtest/gtest.h>

#include <QFile>

#include "RichTextFixture.h"
#include "platform/richtext/HTMLImporter.h"
#include "tests/support/TestEnvironment.h"

namespace {

AttributedString importFile(const QString& path) {
    WebPreferences preferences;
    preferences.setStandardFontFamily(QStringLiteral("Helvetica"));
    preferences.setDefaultFontSize(12);
    Error error;
    std::optional<AttributedString> text =
        HTMLImporter::attributedStringFromHTMLFile(path, preferences, &error);
    EXPECT_TRUE(text) << error.description().toStdString();
    return text.value_or(AttributedString());
}

QList<TextAttachment> attachmentsOf(const AttributedString& text) {
    QList<TextAttachment> attachments;
    text.enumerateAttachments({0, text.length()},
                              [&](const TextAttachment& attachment, const TextRange&, bool&) {
                                  attachments.append(attachment);
                              });
    return attachments;
}

}  // namespace

TEST(HTMLImportImage, ImagesBesideTheFileBecomeAttachments) {
    TestEnvironment environment;
    const QByteArray png = RichTextFixture::pngImage();
    environment.writeFile(QStringLiteral("note/photo #1.png"), png);
    environment.writeFile(QStringLiteral("note/Note.resources/b c.png"), png);
    const QString html = environment.writeFile(
        QStringLiteral("note/Note.html"),
        "<div>a <img src=\"photo #1.png\" width=\"80\"/> b "
        "<a href=\"https://example.org\"><img src=\"Note.resources/b%20c.png\"/></a></div>");
    const AttributedString text = importFile(html);
    EXPECT_EQ(text.string(), QStringLiteral("a \uFFFC b \uFFFC\n"));
    const QList<TextAttachment> attachments = attachmentsOf(text);
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].fileWrapper().regularFileContents(), png);
    EXPECT_EQ(attachments[0].fileWrapper().preferredFilename(), QStringLiteral("photo #1.png"));
    // The width given, the height from the picture's proportions (40 x 20).
    EXPECT_EQ(attachments[0].displaySize(), QSizeF(80, 40));
    EXPECT_EQ(attachments[1].fileWrapper().preferredFilename(), QStringLiteral("b c.png"));
    EXPECT_EQ(text.attributesAtIndex(text.length() - 2).link,
              QUrl(QStringLiteral("https://example.org")));
}

TEST(HTMLImportImage, ImagesNamedWithoutTheirTypesExtensionGetIt) {
    TestEnvironment environment;
    const QByteArray png = RichTextFixture::pngImage();
    environment.writeFile(QStringLiteral("note/Note.resources/photo.png?size=large"), png);
    environment.writeFile(QStringLiteral("note/Note.resources/notes.txt"), "not a picture");
    const QString html =
        environment.writeFile(QStringLiteral("note/Note.html"),
                              "<div><img src=\"Note.resources/photo.png%3Fsize=large\"/>"
                              "<img src=\"Note.resources/notes.txt\"/></div>");
    const QList<TextAttachment> attachments = attachmentsOf(importFile(html));
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].fileWrapper().regularFileContents(), png);
    EXPECT_EQ(attachments[0].fileWrapper().preferredFilename(),
              QStringLiteral("photo.png?size=large.png"));
    // Bytes that are no picture keep their name.
    EXPECT_EQ(attachments[1].fileWrapper().preferredFilename(), QStringLiteral("notes.txt"));
}

TEST(HTMLImportImage, DataURLsAreDecoded) {
    TestEnvironment environment;
    const QByteArray png = RichTextFixture::pngImage();
    QByteArray base64 = png.toBase64();
    base64.insert(10, "\n  ");  // wrapped data still decodes
    const QString html = environment.writeFile(
        QStringLiteral("Data.html"),
        "<div><img src=\"data:image/png;base64," + base64 +
            "\"/>"
            "<img src=\"data:image/svg+xml,%3Csvg%20xmlns%3D%22x%22%2F%3E\"/></div>");
    const QList<TextAttachment> attachments = attachmentsOf(importFile(html));
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].fileWrapper().regularFileContents(), png);
    EXPECT_EQ(attachments[0].fileWrapper().preferredFilename(), QStringLiteral("image.png"));
    EXPECT_EQ(attachments[1].fileWrapper().regularFileContents(), QByteArray("<svg xmlns=\"x\"/>"));
    EXPECT_TRUE(
        attachments[1].fileWrapper().preferredFilename().startsWith(QStringLiteral("image")));
}

TEST(HTMLImportImage, SourcesOutsideTheFolderAreRefused) {
    TestEnvironment environment;
    const QByteArray png = RichTextFixture::pngImage();
    const QString secret = environment.writeFile(QStringLiteral("secret.png"), png);
    environment.writeFile(QStringLiteral("note/inside.png"), png);
    QFile::link(secret, environment.path(QStringLiteral("note/link.png")));
    const QString html = environment.writeFile(
        QStringLiteral("note/Note.html"),
        "<div><img src=\"../secret.png\" alt=\"up\"/> <img src=\"file://" + secret.toUtf8() +
            "\" alt=\"absolute\"/> <img src=\"" + secret.toUtf8() +
            "\"/> <img src=\"link.png\" alt=\"link\"/> <img src=\"http://127.0.0.1:1/x.png\""
            " alt=\"remote\"/> <img src=\"sub/../inside.png\"/></div>");
    const AttributedString text = importFile(html);
    // Refused images leave their description; the one inside the folder loads.
    EXPECT_EQ(text.string(), QStringLiteral("up absolute link remote \uFFFC\n"));
    EXPECT_EQ(attachmentsOf(text).size(), 1);
}

TEST(HTMLImportImage, TextWithoutALocalBaseLoadsNoFiles) {
    TestEnvironment environment;
    environment.writeFile(QStringLiteral("a.png"), RichTextFixture::pngImage());
    WebPreferences preferences;
    const std::optional<AttributedString> text = HTMLImporter::attributedStringFromHTML(
        "<img src=\"a.png\" alt=\"no base\">", QUrl(), preferences);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->string(), QStringLiteral("no base"));
    // A folder URL serves as the base as well.
    const std::optional<AttributedString> withFolder = HTMLImporter::attributedStringFromHTML(
        "<img src=\"a.png\">", QUrl::fromLocalFile(environment.root() + QLatin1Char('/')),
        preferences);
    ASSERT_TRUE(withFolder);
    EXPECT_EQ(withFolder->string(), QString(QChar(0xFFFC)));
}
