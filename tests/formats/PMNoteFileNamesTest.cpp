// Note packages under names at the file system's limit, and attachments whose
// names hold white space and control characters.
#include <gtest/gtest.h>

#include <QDir>
#include <QStringDecoder>

#include "formats/PMNoteFile.h"
#include "tests/support/TestEnvironment.h"
#include "util/FileNameRules.h"

namespace {

// The names in `folder` as the file system holds them, as raw bytes.
QList<QByteArray> rawEntries(const QString& folder) {
    QList<QByteArray> names;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) names << QFile::encodeName(entry);
    return names;
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

QString repeated(const QString& character, int count) {
    QString text;
    for (int i = 0; i < count; ++i) text += character;
    return text;
}

std::shared_ptr<AttributedString> textWithAttachments(
    const QList<QPair<QString, QByteArray>>& files) {
    auto text = std::make_shared<AttributedString>(QStringLiteral("Files:"));
    for (const auto& [name, contents] : files) {
        TextAttributes attributes;
        attributes.attachment = TextAttachment(FileWrapper::regularFile(contents, name));
        text->append(QString(QChar(TextAttachment::Character)), attributes);
    }
    return text;
}

QList<TextAttachment> attachmentsOf(const AttributedString& text) {
    QList<TextAttachment> found;
    text.enumerateAttachments(
        {0, text.length()}, [&](const TextAttachment& a, const TextRange&, bool&) { found << a; });
    return found;
}

}  // namespace

// A title of 255 characters makes a package name at the limit; its hidden
// staging name and its numbered twin must fit as well.
TEST(PMNoteFileNames, LongTitlesGivePackagesThatAreWritten) {
    for (const QString& character :
         {QStringLiteral("a"), QStringLiteral("é"), QStringLiteral("\U0001F600"),
          QStringLiteral("\u2764\uFE0F")}) {
        TestEnvironment env;
        const QString folder = env.path(QStringLiteral("Notes"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString title = repeated(character, 255);
        auto text = std::make_shared<AttributedString>(QStringLiteral("Body"));

        QStringList written;
        for (int copy = 0; copy < 2; ++copy) {
            const QString name = QVExtensions::makeFilenameUniqueInDirectoryAtURL(
                title + QStringLiteral(".pmnote"), folder);
            PMNoteFile note;
            note.setNoteText(text);
            Error error;
            ASSERT_TRUE(note.writeToFile(folder + u'/' + name, &error))
                << qPrintable(character) << " " << error.description().toStdString();
            // Saving again replaces the package through a backup name.
            ASSERT_TRUE(note.writeToFile(folder + u'/' + name, &error))
                << error.description().toStdString();
            written << name;
        }
        EXPECT_TRUE(written[1].endsWith(QStringLiteral(" 1.pmnote"))) << qPrintable(written[1]);

        const QList<QByteArray> names = rawEntries(folder);
        ASSERT_EQ(names.size(), 2) << "staging or backup items were left behind";
        for (const QByteArray& raw : names) {
            EXPECT_LE(raw.size(), 255);
            EXPECT_GT(raw.size(), 255 - 8);
            EXPECT_TRUE(raw.endsWith(".pmnote"));
            EXPECT_TRUE(isValidUtf8(raw));
            EXPECT_TRUE(QFile::decodeName(raw).startsWith(character));
            const auto read = PMNoteFile::noteFileWithFileURL(
                QUrl::fromLocalFile(folder + u'/' + QFile::decodeName(raw)));
            ASSERT_TRUE(read);
            EXPECT_EQ(read->noteText()->string(), QStringLiteral("Body"));
        }
    }
}

TEST(PMNoteFileNames, AttachmentNamesWithWhiteSpaceAndControlsSurviveThePackage) {
    const QString longName = repeated(QStringLiteral("é"), 300) + QStringLiteral(".jpeg");
    const QList<QPair<QString, QString>> names = {
        {QStringLiteral("Scan  1.pdf"), QStringLiteral("Scan  1.pdf")},
        {QStringLiteral("Scan\t2.pdf"), QStringLiteral("Scan 2.pdf")},
        {QStringLiteral("Line one\nLine two.pdf"), QStringLiteral("Line one Line two.pdf")},
        {QStringLiteral("Windows\r\nbreak.txt"), QStringLiteral("Windows  break.txt")},
        {QStringLiteral("bell\u0007 del\u007F c1\u0090.bin"), QStringLiteral("bell- del- c1-.bin")},
        {QStringLiteral("  padded  "), QStringLiteral("  padded  ")},
        {QStringLiteral("a/b: ~c.pdf"), QStringLiteral("a-b: ~c.pdf")},
    };
    QList<QPair<QString, QByteArray>> files;
    for (qsizetype i = 0; i < names.size(); ++i)
        files.append({QVExtensions::attachmentFileName(names[i].first),
                      "contents " + QByteArray::number(i)});
    files.append({QVExtensions::attachmentFileName(longName), "long"});

    TestEnvironment env;
    const QString path = env.path(QStringLiteral("Files.pmnote"));
    PMNoteFile note;
    note.setNoteText(textWithAttachments(files));
    Error error;
    ASSERT_TRUE(note.writeToFile(path, &error)) << error.description().toStdString();

    const auto read = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(path), &error);
    ASSERT_TRUE(read) << error.description().toStdString();
    const QList<TextAttachment> attachments = attachmentsOf(*read->noteText());
    ASSERT_EQ(attachments.size(), files.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(attachments[i].fileWrapper().filename(), names[i].second);
        EXPECT_EQ(attachments[i].fileWrapper().regularFileContents(), files[i].second);
        EXPECT_TRUE(QFileInfo::exists(path + u'/' + names[i].second))
            << qPrintable(names[i].second);
    }
    const TextAttachment& cut = attachments.last();
    EXPECT_EQ(cut.fileWrapper().regularFileContents(), "long");
    EXPECT_TRUE(cut.fileWrapper().filename().endsWith(QStringLiteral("é.jpeg")));
    EXPECT_LE(cut.fileWrapper().filename().toUtf8().size(), 255);
}
