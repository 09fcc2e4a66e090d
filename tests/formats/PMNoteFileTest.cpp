// Note packages: layout, archive, round trips, external readers and saving rules.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>
#include <QUndoStack>

#include "formats/PMChecklistExtensions.h"
#include "formats/PMChecklistTextAttachment.h"
#include "formats/PMNoteFile.h"
#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFDPackage.h"
#include "tests/platform/archive/PythonPlist.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

const QString kChecked = QStringLiteral(u"\u2611\uFE0E ");
const QString kUnchecked = QStringLiteral(u"\u2610 ");

TextAttributes font(double size = 12, bool bold = false, bool italic = false) {
    TextAttributes attributes;
    attributes.font = FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), size, bold, italic);
    return attributes;
}

QByteArray pngImage() {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray pdfDocument() {
    return QByteArrayLiteral(
        "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n");
}

void appendParagraph(AttributedString& text, const QString& content, ParagraphStyle style = {}) {
    TextAttributes attributes = font();
    if (!style.isDefault()) attributes.paragraphStyle = style;
    text.append(content + QLatin1Char('\n'), attributes);
}

void appendListItem(AttributedString& text, const QList<TextList>& lists, int number,
                    const QString& content) {
    ParagraphStyle style;
    style.textLists = lists;
    style.headIndent = 36.0 * lists.size();
    style.firstLineHeadIndent = style.headIndent - 18;
    appendParagraph(text, "\t" + lists.last().markerForItemNumber(number) + "\t" + content, style);
}

void appendAttachment(AttributedString& text, const QByteArray& data, const QString& name) {
    TextAttributes attributes = font();
    attributes.attachment = TextAttachment(FileWrapper::regularFile(data, name));
    text.append(QString(QChar(TextAttachment::Character)), attributes);
}

// A note text with styled runs, a nested list, a table, a link, an image, a
// PDF and one checked and one unchecked box, made as the note converter does.
std::shared_ptr<AttributedString> richText() {
    auto text = std::make_shared<AttributedString>();
    text->append(QStringLiteral("Trip plan\n"), font(18, true));
    text->append(QStringLiteral("Plain, "), font());
    text->append(QStringLiteral("bold"), font(12, true));
    TextAttributes red = font(12, false, true);
    red.foregroundColor = QColor(200, 20, 30);
    text->append(QStringLiteral(" and italic red.\n"), red);
    const TextList bullets(QStringLiteral("{disc}")), numbers(QStringLiteral("{decimal}."));
    appendListItem(*text, {bullets}, 1, QStringLiteral("Passport"));
    appendListItem(*text, {bullets, numbers}, 1, QStringLiteral("Tickets"));
    appendListItem(*text, {bullets}, 2, QStringLiteral("Camera"));
    const TextTable table(2);
    for (int cell = 0; cell < 4; ++cell) {
        ParagraphStyle style;
        TextTableBlock block;
        block.table = table;
        block.startingRow = cell / 2;
        block.startingColumn = cell % 2;
        block.borderWidth = 1;
        style.textBlocks = {block};
        appendParagraph(*text, QStringList{"City", "Nights", "Lisbon", "3"}[cell], style);
    }
    text->append(QStringLiteral("Book at "), font());
    TextAttributes link = font();
    link.link = QUrl(QStringLiteral("https://example.com/booking?id=7"));
    text->append(QStringLiteral("the booking site"), link);
    text->append(QStringLiteral(".\nMap "), font());
    appendAttachment(*text, pngImage(), QStringLiteral("map.png"));
    text->append(QStringLiteral(" ticket "), font());
    appendAttachment(*text, pdfDocument(), QStringLiteral("ticket.pdf"));
    text->append(QStringLiteral("\n") + kChecked + "Pack bags\n" + kUnchecked + "Water plants\n",
                 font());
    text->append(QStringLiteral("Bye."), font());
    PMChecklistExtensions::restoreChecklists(*text,
                                             PMChecklistExtensions::recoverChecklists(*text));
    return text;
}

QStringList entries(const QString& package) {
    return QDir(package).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

// The states of the boxes in a text, in order.
QList<bool> boxStates(const AttributedString& text) {
    QList<bool> states;
    text.enumerateAttachments({0, text.length()},
                              [&](const TextAttachment& a, const TextRange&, bool&) {
                                  if (PMChecklistTextAttachment::isChecklistAttachment(a))
                                      states << a.userInfo().toBool();
                              });
    return states;
}

std::unique_ptr<PMNoteFile> readNote(const QString& path) {
    Error error;
    auto note = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(path), &error);
    EXPECT_TRUE(note) << error.description().toStdString();
    return note;
}

QString writeRichNote(const TestEnvironment& env, const QString& name = "Trip.pmnote") {
    PMNoteFile note;
    note.setNoteText(richText());
    Error error;
    const QString path = env.path(name);
    EXPECT_TRUE(note.writeToFile(path, &error)) << error.description().toStdString();
    return path;
}

// Words of an HTML document's text, tags removed.
QStringList words(QString html) {
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    html.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return html.split(QRegularExpression(QStringLiteral("[\\s\u00a0]+")), Qt::SkipEmptyParts);
}

void expectSameDocument(const QString& html) {
    EXPECT_TRUE(html.contains(QStringLiteral("<table")));
    EXPECT_TRUE(html.contains(QStringLiteral("<ul")));
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"https://example.com/booking?id=7\"")));
    QStringList text = words(html);
    const QStringList expected =
        QStringLiteral(
            u"Trip plan Plain, bold and italic red. Passport Tickets Camera City Nights "
            u"Lisbon 3 Book at the booking site. Map ticket \u2611\uFE0E Pack bags "
            u"\u2610 Water plants Bye.")
            .split(' ');
    qsizetype at = 0;
    for (const QString& word : expected) {
        const qsizetype found = text.indexOf(word, at);
        EXPECT_GE(found, 0) << word.toStdString() << " in " << text.join(' ').toStdString();
        if (found >= 0) at = found + 1;
    }
}

}  // namespace

TEST(PMNoteFile, PackageHoldsTheRTFItsAttachmentsAndTheArchive) {
    TestEnvironment env;
    const QString package = writeRichNote(env);
    EXPECT_EQ(entries(package),
              (QStringList{"NoteAttributes", "TXT.rtf", "map.png", "ticket.pdf"}));
    EXPECT_EQ(readWholeFile(package + "/map.png"), pngImage());
    const QByteArray rtf = readWholeFile(package + "/TXT.rtf");
    EXPECT_TRUE(rtf.contains("NeXTGraphic map.png")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("NeXTGraphic ticket.pdf"));
    // Boxes are written as their markers, U+2611 U+FE0E and U+2610.
    EXPECT_TRUE(rtf.contains("\\u9745 \\uc0\\u65038  Pack"));
    EXPECT_TRUE(rtf.contains("\\u9744 "));

    SKIP_WITHOUT_PYTHON();
    const QString out = runPlistScript(readWholeFile(package + "/NoteAttributes"), R"(
o = p['$objects']
r = o[p['$top']['root'].data]
print(p['$archiver'], o[r['$class'].data]['$classname'])
print(' '.join('%s:%s' % (k, type(r[k]).__name__) for k in r if k != '$class'))
items = [o[u.data] for u in o[r['checklistItems'].data]['NS.objects']]
print([(i['on'], o[i['range'].data]) for i in items])
)");
    const QStringList lines = out.split('\n');
    ASSERT_EQ(lines.size(), 3) << out.toStdString();
    EXPECT_EQ(lines[0], "NSKeyedArchiver PMNoteAttributes");
    EXPECT_EQ(lines[1],
              "fileVersion:int visibleChars:UID selectedChars:UID typingAttributes:UID "
              "layoutOrientation:int hyphenationFactor:float scaleFactor:float "
              "visibleCGRect:UID rulerVisible:bool checklistItems:UID");
    // Located in the text with markers: after "Trip plan\n…ticket \uFFFC\n".
    const qsizetype first = richText()->string().indexOf(u"Pack bags") - 1;
    EXPECT_EQ(
        lines[2],
        QStringLiteral("[(True, '{%1, 3}'), (False, '{%2, 2}')]").arg(first).arg(first + 3 + 10));
}

TEST(PMNoteFile, WriteReadWriteKeepsTextAttachmentsAndBoxes) {
    TestEnvironment env;
    const QString first = writeRichNote(env);
    const auto note = readNote(first);
    ASSERT_TRUE(note);
    const auto original = richText();
    EXPECT_EQ(note->noteText()->string(), original->string());
    EXPECT_EQ(boxStates(*note->noteText()), (QList<bool>{true, false}));
    EXPECT_EQ(note->noteAttributes().fileVersion(), 3000);

    const QString second = env.path("Again.pmnote");
    ASSERT_TRUE(note->writeToFile(second));
    EXPECT_EQ(entries(second), entries(first));
    for (const QString& entry : entries(first))
        EXPECT_EQ(readWholeFile(second + "/" + entry), readWholeFile(first + "/" + entry))
            << entry.toStdString();
}

TEST(PMNoteFile, ExternalReadersSeeTheSameDocument) {
    TestEnvironment env;
    const QString rtf = writeRichNote(env) + "/TXT.rtf";
    const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (pandoc.isEmpty() && soffice.isEmpty()) GTEST_SKIP() << "no pandoc or LibreOffice";
    if (!pandoc.isEmpty()) {
        QProcess process;
        process.start(pandoc, {"-f", "rtf", "-t", "html", rtf});
        ASSERT_TRUE(process.waitForFinished(60000));
        expectSameDocument(QString::fromUtf8(process.readAllStandardOutput()));
    }
    if (!soffice.isEmpty())
        expectSameDocument(
            QString::fromUtf8(convertWithLibreOffice(soffice, env, rtf, QStringLiteral("html"))));
}

TEST(PMNoteFile, ChecklistsComeFromMarkersUnlessACurrentArchiveListsThem) {
    TestEnvironment env;
    AttributedString markers(kChecked + "one\n" + kUnchecked + "two\n");
    // A package without "NoteAttributes", as the HTML export writes it.
    const QString bare = env.path("Bare.pmnote");
    ASSERT_TRUE(RTFDPackage::writeToPath(markers, bare));
    auto note = readNote(bare);
    ASSERT_TRUE(note);
    EXPECT_EQ(boxStates(*note->noteText()), (QList<bool>{true, false}));
    EXPECT_EQ(note->noteAttributes().fileVersion(), 3000);

    // An archive naming only the second box: trusted from version 3000,
    // recomputed from the text below it.
    auto archive = [](qint64 version) {
        using Field = ArchivedInstance::Field;
        const auto item = std::make_shared<PMNoteChecklistItem>(false, IndexRange{7, 2});
        return KeyedArchiver::archivedDataWithRootObject(std::make_shared<ArchivedInstance>(
            "PMNoteAttributes", QStringList{"PMNoteAttributes", "NSObject"},
            std::vector<Field>{{"fileVersion", ArchivedInstance::FieldKind::Inline, version},
                               {"checklistItems", ArchivedInstance::FieldKind::Object,
                                ArchiveValue::array({ArchiveValue(item)})}}));
    };
    for (const qint64 version : {3000, 2999}) {
        env.writeFile("Bare.pmnote/NoteAttributes", archive(version));
        note = readNote(bare);
        ASSERT_TRUE(note);
        const QList<bool> expected =
            version == 3000 ? QList<bool>{false} : QList<bool>{true, false};
        EXPECT_EQ(boxStates(*note->noteText()), expected) << version;
    }
    ASSERT_TRUE(note->writeToFile(bare));
    EXPECT_EQ(readNote(bare)->noteAttributes().fileVersion(), 3000);  // saved as current

    env.writeFile("Bare.pmnote/NoteAttributes", "damaged");  // read as a missing archive
    EXPECT_EQ(boxStates(*readNote(bare)->noteText()), (QList<bool>{true, false}));
}

TEST(PMNoteFile, SavingKeepsCreationDateAndExtensionVisibility) {
    TestEnvironment env;
    const QString path = writeRichNote(env);
    EXPECT_EQ(resourceValues(path).hasHiddenExtension, true);  // a new note hides it
    FileResourceValues values;
    values.creationDate = QDateTime(QDate(2015, 3, 1), QTime(9, 30), QTimeZone::utc());
    values.hasHiddenExtension = false;
    if (!setResourceValues(path, values)) GTEST_SKIP() << "no extended attributes here";

    const auto note = readNote(path);
    ASSERT_TRUE(note->writeToFile(path));
    ASSERT_TRUE(note->writeToFile(path));
    EXPECT_EQ(resourceValues(path).creationDate, values.creationDate);
    EXPECT_EQ(resourceValues(path).hasHiddenExtension, false);
    EXPECT_EQ(entries(path).count("NoteAttributes"), 1);
    // No staging or backup folder is left beside the package.
    QStringList siblings =
        QDir(env.root()).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot);
    siblings.sort();
    EXPECT_EQ(siblings,
              (QStringList{"Applications", "Trip.pmnote", "config", "data", "state", "tmp"}));
}

TEST(PMNoteFile, AttachmentNamedLikeTheArchiveKeepsItsFile) {
    TestEnvironment env;
    PMNoteFile note;
    Error error;
    EXPECT_FALSE(note.writeToFile(env.path("missing/folder/N.pmnote"), &error));
    EXPECT_FALSE(error.isNull());

    auto text = std::make_shared<AttributedString>(QStringLiteral("See "));
    appendAttachment(*text, "attachment bytes", QStringLiteral("NoteAttributes"));
    note.setNoteText(text);
    const QString path = env.path("Clash.pmnote");
    ASSERT_TRUE(note.writeToFile(path));
    const auto read = readNote(path);
    ASSERT_TRUE(read);
    const auto& attachment = read->noteText()->attributesAtIndex(4).attachment;
    ASSERT_TRUE(attachment);
    EXPECT_EQ(attachment->fileWrapper().regularFileContents(), "attachment bytes");
    EXPECT_EQ(read->noteAttributes().fileVersion(), 3000);
}

TEST(PMNoteFile, EmptyNewNotesAreRecognisedByNameAndText) {
    TestEnvironment env;
    auto write = [&](const QString& name, const QString& content) {
        PMNoteFile note;
        note.setNoteText(std::make_shared<AttributedString>(content));
        note.writeToFile(env.path(name));
        return QUrl::fromLocalFile(env.path(name));
    };
    EXPECT_EQ(PMNoteFile::nameOfNewNote(), "New Note");
    EXPECT_TRUE(PMNoteFile::noteFileAtURLIsEmpty(write("New Note.pmnote", "")));
    EXPECT_FALSE(PMNoteFile::noteFileAtURLIsEmpty(write("New Note 3.pmnote", "text")));
    EXPECT_FALSE(PMNoteFile::noteFileAtURLIsEmpty(write("Shopping.pmnote", "")));
    EXPECT_FALSE(PMNoteFile::noteFileAtURLIsEmpty(write("New Note.rtfd", "")));
    QDir().mkpath(env.path("New Note 4.pmnote/TXT.rtf"));  // unreadable: counts as empty
    EXPECT_TRUE(
        PMNoteFile::noteFileAtURLIsEmpty(QUrl::fromLocalFile(env.path("New Note 4.pmnote"))));
}

TEST(PMNoteFile, NewNotesTakeTheirSettingsFromDefaults) {
    TestEnvironment env;
    UserDefaults defaults(QStringLiteral("com.quorvel.Pelmora3"));
    TextAttributes typing = PMNoteFile::defaultNoteAttributes(defaults);
    EXPECT_EQ(typing.font, FontRegistry::userFontOfSize(14));
    EXPECT_FALSE(typing.foregroundColor);

    defaults.setObject(QStringLiteral("Courier"), "DefaultNoteFontName");
    defaults.setObject(16.5, "DefaultNoteFontSize");
    defaults.setObject(KeyedArchiver::archivedDataWithRootObject(QColor(Qt::blue)),
                       "DefaultNoteTextColor");
    defaults.setObject(KeyedArchiver::archivedDataWithRootObject(QColor(Qt::yellow)),
                       "DefaultNoteBackgroundColor");
    typing = PMNoteFile::defaultNoteAttributes(defaults);
    ASSERT_TRUE(typing.font);
    EXPECT_EQ(typing.font->family(), "Courier");
    EXPECT_EQ(typing.font->pointSize(), 16.5);
    EXPECT_EQ(typing.foregroundColor, QColor(Qt::blue));
    // The background colour travels in the archive and as the RTF's.
    PMNoteFile note(defaults);
    const QString path = env.path("Yellow.pmnote");
    ASSERT_TRUE(note.writeToFile(path));
    EXPECT_EQ(note.documentAttributes()->backgroundColor, QColor(Qt::yellow));
    const auto read = readNote(path);
    ASSERT_TRUE(read->noteAttributes().backgroundColor());
    EXPECT_EQ(read->noteAttributes().backgroundColor()->rgb(), QColor(Qt::yellow).rgb());
}

TEST(PMNoteFile, TextIsSharedCopiedOnRequestAndUndoable) {
    QUndoStack undo;
    auto note = std::make_unique<PMNoteFile>();
    auto first = std::make_shared<AttributedString>(QStringLiteral("first"));
    note->setNoteText(first);
    EXPECT_EQ(note->noteText(), first);  // the very object
    note->setUndoManager(&undo);
    note->setNoteText(std::make_shared<AttributedString>(QStringLiteral("second")));
    undo.undo();
    EXPECT_EQ(note->noteText()->string(), "first");
    undo.redo();
    EXPECT_EQ(note->noteText()->string(), "second");

    RTFDocumentAttributes wide;
    wide.viewSize = QSizeF(900, 700);
    note->setDocumentAttributes(wide);
    const auto copy = note->copy();
    EXPECT_NE(copy->noteText(), note->noteText());
    EXPECT_EQ(copy->noteText()->string(), "second");
    EXPECT_EQ(copy->documentAttributes(), RTFDocumentAttributes());

    note.reset();
    undo.undo();  // a command outliving its note does nothing
    EXPECT_EQ(undo.index(), 0);
}

TEST(PMNoteFile, SystemFontRunsReadInTheUserFont) {
    TestEnvironment env;
    TextAttributes system;
    system.font = FontRegistry::systemFontOfSize(0);
    PMNoteFile note;
    note.setNoteText(std::make_shared<AttributedString>(QStringLiteral("hello"), system));
    ASSERT_TRUE(note.writeToFile(env.path("Font.pmnote")));
    EXPECT_EQ(readNote(env.path("Font.pmnote"))->noteText()->attributesAtIndex(0).font->family(),
              FontRegistry::userFontOfSize(14).family());
}

TEST(PMNoteFile, WelcomeNoteIsMadeInTheCacheFolder) {
    TestEnvironment env;
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", env.path("cache").toUtf8());
    const std::optional<QString> path = PMNoteFile::oldWelcomeNotePath();
    if (saved.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", saved);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, env.path("cache/ferrymark/Resources/Welcome to Pelmora.pmnote"));
    const auto note = readNote(*path);
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->noteText()->string().startsWith("Welcome to Pelmora\n"));
    EXPECT_EQ(boxStates(*note->noteText()), (QList<bool>{true, false}));
}
