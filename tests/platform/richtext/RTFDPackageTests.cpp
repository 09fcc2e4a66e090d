#include <gtest/gtest.h>

#include <QDir>

#include "RichTextFixture.h"
#include "platform/richtext/RTFDPackage.h"
#include "platform/richtext/RTFWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

QList<TextAttachment> attachmentsOf(const AttributedString& text) {
    QList<TextAttachment> found;
    text.enumerateAttachments(
        {0, text.length()}, [&](const TextAttachment& a, const TextRange&, bool&) { found << a; });
    return found;
}

AttributedString twoAttachmentsNamed(const QString& name) {
    AttributedString text(QStringLiteral("A "));
    for (const QByteArray& contents : {QByteArray("first"), QByteArray("second")}) {
        TextAttributes attributes;
        attributes.attachment = TextAttachment(FileWrapper::regularFile(contents, name));
        text.append(QStringLiteral("\uFFFC"), attributes);
    }
    return text;
}

}  // namespace

TEST(RTFDPackage, AttachmentsComeBackWithTheirFiles) {
    TestEnvironment env;
    const AttributedString text = RichTextFixture::document();
    const QString path = env.path(QStringLiteral("Note.rtfd"));
    Error error;
    ASSERT_TRUE(RTFDPackage::writeToPath(text, path, {}, &error))
        << error.description().toStdString();
    EXPECT_EQ(QDir(path).entryList(QDir::Files, QDir::Name),
              (QStringList{"TXT.rtf", "map.png", "ticket.pdf"}));

    const std::optional<AttributedString> read = RTFDPackage::readFromPath(path, nullptr, &error);
    ASSERT_TRUE(read) << error.description().toStdString();
    EXPECT_EQ(read->string(), text.string());
    const QList<TextAttachment> attachments = attachmentsOf(*read);
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].fileWrapper().regularFileContents(), RichTextFixture::pngImage());
    EXPECT_EQ(attachments[1].fileWrapper().regularFileContents(), RichTextFixture::pdfDocument());
    EXPECT_EQ(attachments[0].displaySize(), QSizeF(40, 20));

    // Writing what was read gives the same package again.
    EXPECT_EQ(RTFDPackage::fileWrapperFromAttributedString(*read),
              RTFDPackage::fileWrapperFromAttributedString(text));
}

TEST(RTFDPackage, EqualAttachmentNamesGetNumberedFiles) {
    const FileWrapper package = RTFDPackage::fileWrapperFromAttributedString(
        twoAttachmentsNamed(QStringLiteral("TXT.rtf")));
    const QMap<QString, FileWrapper> files = package.fileWrappers();
    EXPECT_EQ(files.keys(), (QStringList{"1__TXT.rtf", "2__TXT.rtf", "TXT.rtf"}));
    EXPECT_TRUE(files.value(QStringLiteral("TXT.rtf")).regularFileContents().startsWith("{\\rtf1"));

    const std::optional<AttributedString> read =
        RTFDPackage::attributedStringFromFileWrapper(package);
    ASSERT_TRUE(read);
    const QList<TextAttachment> attachments = attachmentsOf(*read);
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].fileWrapper().regularFileContents(), QByteArray("first"));
    EXPECT_EQ(attachments[1].fileWrapper().regularFileContents(), QByteArray("second"));
}

TEST(RTFDPackage, OneFileShownManyTimesIsStoredOnce) {
    const FileWrapper shared = FileWrapper::regularFile("shared bytes", QStringLiteral("a.pdf"));
    AttributedString text;
    TextAttributes attributes;
    attributes.attachment = TextAttachment(shared);
    for (int i = 0; i < 3; ++i) {
        text.append(QStringLiteral("\uFFFC"), attributes);
        text.append(QStringLiteral(" "), TextAttributes());
    }
    // An equal file of its own is still a file of its own.
    attributes.attachment =
        TextAttachment(FileWrapper::regularFile("shared bytes", QStringLiteral("a.pdf")));
    text.append(QStringLiteral("\uFFFC"), attributes);

    const FileWrapper package = RTFDPackage::fileWrapperFromAttributedString(text);
    EXPECT_EQ(package.fileWrappers().keys(), (QStringList{"1__a.pdf", "TXT.rtf", "a.pdf"}));
    const std::optional<AttributedString> read =
        RTFDPackage::attributedStringFromFileWrapper(package);
    ASSERT_TRUE(read);
    const QList<TextAttachment> attachments = attachmentsOf(*read);
    ASSERT_EQ(attachments.size(), 4);
    for (const TextAttachment& attachment : attachments)
        EXPECT_EQ(attachment.fileWrapper().regularFileContents(), QByteArray("shared bytes"));
}

TEST(RTFDPackage, NamesInTheTextCannotReachOutsideThePackage) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("secret.txt"), "secret");
    env.writeFile(QStringLiteral("Evil.rtfd/TXT.rtf"),
                  "{\\rtf1\\ansi{{\\NeXTGraphic ../secret.txt \\width20 \\height20\n}\xAC}"
                  "{{\\NeXTGraphic TXT.rtf \\width20 \\height20\n}\xAC}}");
    const std::optional<AttributedString> read =
        RTFDPackage::readFromPath(env.path(QStringLiteral("Evil.rtfd")));
    ASSERT_TRUE(read);
    const QList<TextAttachment> attachments = attachmentsOf(*read);
    ASSERT_EQ(attachments.size(), 2);
    for (const TextAttachment& attachment : attachments)
        EXPECT_TRUE(attachment.fileWrapper().isNull());
    EXPECT_EQ(attachments[0].fileWrapper().preferredFilename(), QStringLiteral("../secret.txt"));

    // Written again, the unresolved name stays a reference and stays inside.
    const FileWrapper again = RTFDPackage::fileWrapperFromAttributedString(*read);
    EXPECT_EQ(again.fileWrappers().keys(), QStringList{QStringLiteral("TXT.rtf")});
    EXPECT_TRUE(again.fileWrappers()
                    .value(QStringLiteral("TXT.rtf"))
                    .regularFileContents()
                    .contains("\\NeXTGraphic .._secret.txt"));
}

TEST(RTFDPackage, APackageWithoutTextIsAnError) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("Empty.rtfd/picture.png"), "png");
    Error error;
    EXPECT_FALSE(
        RTFDPackage::readFromPath(env.path(QStringLiteral("Empty.rtfd")), nullptr, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code(), 259);
}

TEST(RTFDPackage, SavingOverAPackageReplacesItWhole) {
    TestEnvironment env;
    const QString path = env.path(QStringLiteral("Note.rtfd"));
    ASSERT_TRUE(RTFDPackage::writeToPath(RichTextFixture::document(), path));
    ASSERT_TRUE(RTFDPackage::writeToPath(AttributedString(QStringLiteral("Short")), path));
    EXPECT_EQ(QDir(path).entryList(QDir::Files), QStringList{QStringLiteral("TXT.rtf")});
    EXPECT_EQ(RTFDPackage::readFromPath(path)->string(), QStringLiteral("Short"));
}

// The RTF names attachments in its own syntax; names with runs of spaces,
// spaces at either end, controls, braces and backslashes must still find
// their file after a write and a read.
TEST(RTFDPackage, AttachmentNamesWithWhiteSpaceAndControlsRoundTrip) {
    const QStringList names = {QStringLiteral("Scan  1.pdf"),
                               QStringLiteral(" lead.pdf"),
                               QStringLiteral("trail "),
                               QStringLiteral("tab\there.pdf"),
                               QStringLiteral("line\nbreak"),
                               QStringLiteral("{brace}\\x.txt"),
                               QStringLiteral("\u00E9\U0001F600 .png")};
    AttributedString text(QStringLiteral("Files "));
    for (qsizetype i = 0; i < names.size(); ++i) {
        TextAttributes attributes;
        attributes.attachment =
            TextAttachment(FileWrapper::regularFile(QByteArray::number(i), names[i]));
        text.append(QStringLiteral("\uFFFC"), attributes);
    }
    TestEnvironment env;
    const QString path = env.path(QStringLiteral("Names.rtfd"));
    Error error;
    ASSERT_TRUE(RTFDPackage::writeToPath(text, path, {}, &error))
        << error.description().toStdString();
    const std::optional<AttributedString> read = RTFDPackage::readFromPath(path, nullptr, &error);
    ASSERT_TRUE(read) << error.description().toStdString();
    const QList<TextAttachment> attachments = attachmentsOf(*read);
    ASSERT_EQ(attachments.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(attachments[i].fileWrapper().filename(), names[i]);
        EXPECT_EQ(attachments[i].fileWrapper().regularFileContents(), QByteArray::number(i))
            << qPrintable(names[i]);
    }
}
