// What a user checks in a converted note: every attachment by its bytes,
// every check box as a checklist item that survives saving, tasks in place,
// empty notes kept.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <tuple>

#include "enex/EvernoteTaskPlacement.h"
#include "formats/PMNoteFile.h"
#include "platform/richtext/HTMLNestingLimits.h"
#include "tests/enex/ItemFixture.h"

namespace {

struct ConvertedNote {
    PlistDictionary dict;
    std::unique_ptr<PMNoteFile> package;
};

ConvertedNote convert(ItemFixture& f) {
    Error error;
    auto dict = f.item->itemDictInGroup(folderGroup(), &error);
    EXPECT_TRUE(dict.has_value()) << error.description().toStdString();
    if (!dict) return {};
    auto package = PMNoteFile::noteFileWithFileURL(
        QUrl::fromLocalFile(dict->value(QStringLiteral("absoluteFilename")).toString()), &error);
    EXPECT_NE(package, nullptr) << error.description().toStdString();
    return {*dict, std::move(package)};
}

QList<bool> checklistStates(const PMNoteFile& note) {
    QList<bool> states;
    for (const auto& item :
         note.noteAttributes().checklistItems().value_or(QList<PMNoteChecklistItem>()))
        states << item.on();
    return states;
}

// The attachments of the text, in order, as (file name, bytes).
QList<std::pair<QString, QByteArray>> attachments(const AttributedString& text) {
    QList<std::pair<QString, QByteArray>> found;
    text.enumerateAttributes(
        {0, text.length()}, [&](const TextAttributes& attributes, const TextRange& run, bool&) {
            if (!attributes.attachment || attributes.attachment->fileWrapper().isDirectory())
                return;
            for (qsizetype i = 0; i < run.length; ++i)
                found.append({attributes.attachment->fileWrapper().preferredFilename(),
                              attributes.attachment->fileWrapper().regularFileContents()});
        });
    return found;
}

TestAttachment document(const QString& name, const QByteArray& bytes) {
    return {bytes, QStringLiteral("application/pdf"), name};
}

}  // namespace

TEST(NoteConversionTest, EveryCheckBoxIsAChecklistItemThatSurvivesSaving) {
    ItemFixture f(
        QStringLiteral("Boxes"),
        QStringLiteral(
            "<ul><li><en-todo checked=\"true\"/>one</li>"
            "<li><ul><li><en-todo/>two</li><li><div><en-todo "
            "checked=\"true\"/>three</div></li></ul></li></ul>"
            "<ol><li>text first <en-todo/>four</li></ol>"
            "<table><tr><td><en-todo checked=\"true\"/>five</td><td><en-todo/>six</td></tr></table>"
            "<ul style=\"--en-todo:true;\"><li style=\"--en-checked:true;\">seven</li>"
            "<li style=\"--en-checked:false;\">eight</li></ul>"),
        {});
    ConvertedNote note = convert(f);
    ASSERT_NE(note.package, nullptr);
    const QList<bool> expected{true, false, true, false, true, false, true, false};
    EXPECT_EQ(checklistStates(*note.package), expected);

    // Saved again and read back, nothing is lost.
    const QString again = f.env.path(QStringLiteral("again.pmnote"));
    Error error;
    ASSERT_TRUE(note.package->writeToFile(again, &error)) << error.description().toStdString();
    const auto reread = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(again), &error);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(checklistStates(*reread), expected);
    EXPECT_FALSE(reread->noteText()->string().contains(u'\u2610'));  // boxes, not marker characters
}

TEST(NoteConversionTest, TasksTakeTheirGroupsPlaceInSortOrderAndStrayTasksGoAtTheEnd) {
    ItemFixture f(QStringLiteral("Tasks"),
                  QStringLiteral("<div>before</div>"
                                 "<div style=\"--en-task-group:true; --en-id:G1;background:grey\">"
                                 "<div>Content not supported</div></div><div>after</div>"),
                  {});
    auto task = [](const char* title, const char* weight, const char* group, const char* status) {
        EvernoteXMLTask t;
        t.title = QString::fromUtf8(title);
        t.sortWeight = QString::fromLatin1(weight);
        t.taskGroupNoteLevelID = QString::fromLatin1(group);
        t.status = QString::fromLatin1(status);
        return t;
    };
    f.item->record().tasks = {task("Second", "Q", "G1", "completed"),
                              task("First", "C", "G1", "open"),
                              task("Lost group", "A", "G9", "completed")};
    f.item->record().tasks[0].dueDate = QDateTime(QDate(2022, 5, 28), QTime(21, 59, 59), Qt::UTC);
    f.item->record().tasks[0].dueDateUIOption = QStringLiteral("date_only");
    f.item->record().tasks[0].timeZone = QStringLiteral("Europe/Budapest");
    ConvertedNote note = convert(f);
    ASSERT_NE(note.package, nullptr);
    EXPECT_EQ(checklistStates(*note.package), (QList<bool>{false, true, true}));
    const QString text = note.package->noteText()->string();
    EXPECT_FALSE(text.contains(QStringLiteral("Content not supported")));
    const qsizetype first = text.indexOf(QStringLiteral("First"));
    const qsizetype second = text.indexOf(QStringLiteral("Second (due 2022-05-28)"));
    EXPECT_LT(text.indexOf(QStringLiteral("before")), first);
    EXPECT_LT(first, second);
    EXPECT_LT(second, text.indexOf(QStringLiteral("after")));
    EXPECT_LT(text.indexOf(QStringLiteral("after")), text.indexOf(QStringLiteral("Lost group")));
}

TEST(NoteConversionTest, TaskLinesSayWhatElseTheTaskHolds) {
    EvernoteXMLTask task;
    task.title = QStringLiteral("Call\n back");
    EXPECT_EQ(EvernoteTaskPlacement::lineText(task), QStringLiteral("Call back"));
    task.dueDate = QDateTime(QDate(2022, 5, 28), QTime(21, 59), Qt::UTC);
    task.flagged = true;
    task.reminderDate = QDateTime(QDate(2022, 5, 22), QTime(7, 0), Qt::UTC);
    EXPECT_EQ(
        EvernoteTaskPlacement::lineText(task),
        QStringLiteral("Call back (due 2022-05-28 21:59; flagged; reminder 2022-05-22 07:00)"));
}

TEST(NoteConversionTest, AttachmentsTravelByIdentityWhateverTheirNames) {
    const QList<TestAttachment> files{document(QStringLiteral("Scan  1.pdf"), "first"),
                                      document(QStringLiteral("Scan\t2.pdf"), "second"),
                                      document(QStringLiteral("Two\nlines.pdf"), "third"),
                                      document(QStringLiteral("unshown.pdf"), "fourth")};
    ItemFixture f(QStringLiteral("Scans"),
                  QStringLiteral("<div>%MEDIA0% and %MEDIA1%</div><div>%MEDIA2%</div>"), files);
    ConvertedNote note = convert(f);
    ASSERT_NE(note.package, nullptr);
    const auto found = attachments(*note.package->noteText());
    ASSERT_EQ(found.size(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(found[i].second, files[i].bytes) << i;
    EXPECT_TRUE(found[0].first.startsWith(QStringLiteral("Scan  1")))
        << found[0].first.toStdString();
    for (const auto& [name, bytes] : found)
        EXPECT_TRUE(name.endsWith(QStringLiteral(".pdf"))) << name.toStdString();
    // The resource no media element names comes last, after the note's own text.
    EXPECT_TRUE(found[3].first.startsWith(QStringLiteral("unshown")));
    EXPECT_EQ(note.package->noteText()->string().trimmed().back(),
              QChar(TextAttachment::Character));
}

TEST(NoteConversionTest, MediaNamingTheSameBytesTakeTheResourcesInOrder) {
    const QList<TestAttachment> files{document(QStringLiteral("a.pdf"), "same"),
                                      document(QStringLiteral("b.pdf"), "same")};
    ItemFixture f(QStringLiteral("Twice"),
                  QStringLiteral("<div>%MEDIA0%</div><div>%MEDIA1%</div><div>%MEDIA0%</div>"),
                  files);
    ConvertedNote note = convert(f);
    ASSERT_NE(note.package, nullptr);
    const auto found = attachments(*note.package->noteText());
    ASSERT_EQ(found.size(), 3);  // nothing appended: both resources are shown
    EXPECT_EQ(found[0].first, QStringLiteral("a.pdf"));
    EXPECT_EQ(found[1].first, QStringLiteral("b.pdf"));
}

TEST(NoteConversionTest, ImagesNamedWithoutTheirTypesExtensionGetItInThePackage) {
    const QList<TestAttachment> files{{QByteArray("\x89PNG fake"), QStringLiteral("image/png"),
                                       QStringLiteral("photo.png?size=large")},
                                      {QByteArray("\xFF\xD8\xFF fake"),
                                       QStringLiteral("image/jpeg"), QStringLiteral("photo.jpeg")},
                                      document(QStringLiteral("scan"), "pdf")};
    ItemFixture f(QStringLiteral("Photos"), QStringLiteral("<div>%MEDIA0% %MEDIA1% %MEDIA2%</div>"),
                  files);
    ConvertedNote note = convert(f);
    ASSERT_NE(note.package, nullptr);
    // Read back from the saved package: the text names the files as stored.
    const auto found = attachments(*note.package->noteText());
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found[0].first, QStringLiteral("photo.png?size=large.png"));
    EXPECT_EQ(found[0].second, files[0].bytes);
    EXPECT_EQ(found[1].first, QStringLiteral("photo.jpeg"));  // already the type's
    EXPECT_EQ(found[2].first, QStringLiteral("scan"));        // not an image: kept
    QStringList stored;
    for (QDirIterator it(note.dict.value(QStringLiteral("absoluteFilename")).toString(),
                         QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();)
        stored << it.nextFileInfo().fileName();
    EXPECT_TRUE(stored.contains(QStringLiteral("photo.png?size=large.png")))
        << stored.join(u',').toStdString();
}

TEST(NoteConversionTest, EmptyNoteBecomesAnEmptyPackageWithItsMetadata) {
    for (const QByteArray& content :
         {QByteArray(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
          QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE en-note SYSTEM "
                     "\"http://xml.evernote.com/pub/enml2.dtd\">\n")}) {
        ItemFixture f(QStringLiteral("Nothing yet"), QString(), {});
        f.item->record().contentData = content;
        f.item->record().tags = {QStringLiteral("empty")};
        f.item->record().created = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
        ConvertedNote note = convert(f);
        ASSERT_NE(note.package, nullptr) << content.constData();
        EXPECT_EQ(note.dict.value(QStringLiteral("name")).toString(),
                  QStringLiteral("Nothing yet"));
        EXPECT_EQ(note.dict.value(QStringLiteral("tagsString")).toString(),
                  QStringLiteral("empty"));
        EXPECT_EQ(note.dict.value(QStringLiteral("dateCreated")).toDate(),
                  f.item->record().created);
        EXPECT_TRUE(note.package->noteText()->string().trimmed().isEmpty());
    }
}

TEST(NoteConversionTest, WebClipSourcesIncludeTheClippersVersion) {
    for (const char* source : {"web.clip", "web.clip7", "web.clip12"})
        EXPECT_TRUE(EvernoteXMLItem::isWebClipSource(QString::fromLatin1(source))) << source;
    for (const char* source : {"", "mail.smtp", "web.clipper", "web.clip7 ", "mobile.web.clip"})
        EXPECT_FALSE(EvernoteXMLItem::isWebClipSource(QString::fromLatin1(source))) << source;
}

TEST(NoteConversionTest, ANoteOfHundredsOfThousandsOfCheckBoxesOrMediaTagsIsRefusedWithItsReason) {
    // Each would become a checklist item or an attachment of its own: gigabytes for some megabytes.
    const qsizetype tooMany = EvernoteXMLItem::maximumCheckBoxes + 1;
    ItemFixture boxes(QStringLiteral("Boxes"), QStringLiteral("<en-todo/>").repeated(tooMany), {});
    Error error;
    EXPECT_FALSE(boxes.item->itemDictInGroup(folderGroup(), &error));
    EXPECT_EQ(error.domain(), QStringLiteral("EvernoteXMLItemErrorDomain"));
    EXPECT_TRUE(
        error.localizedDescription().contains(QStringLiteral("%1 check boxes").arg(tooMany)))
        << error.description().toStdString();
    EXPECT_TRUE(boxes.files().isEmpty());

    const qsizetype tooManyTags = EvernoteXMLItem::maximumMediaTags + 1;
    ItemFixture media(QStringLiteral("Media"), QStringLiteral("%MEDIA0%").repeated(tooManyTags),
                      {document(QStringLiteral("a.pdf"), "bytes")});
    error = Error();
    EXPECT_FALSE(media.item->itemDictInGroup(folderGroup(), &error));
    EXPECT_TRUE(error.localizedDescription().contains(
        QStringLiteral("%1 attachment tags").arg(tooManyTags)));

    // Thousands of check boxes still convert, every one of them.
    ItemFixture many(QStringLiteral("Many"),
                     QStringLiteral("<div><en-todo checked=\"true\"/>x</div>").repeated(2000), {});
    const ConvertedNote note = convert(many);
    ASSERT_TRUE(note.package);
    EXPECT_EQ(checklistStates(*note.package).size(), 2000);
}

TEST(NoteConversionTest, AHundredThousandCheckBoxesAllBecomeChecklistItems) {
    ItemFixture f(QStringLiteral("Boxes"),
                  QStringLiteral("<div><en-todo checked=\"true\"/>on</div><div><en-todo/>off</div>")
                      .repeated(50000),
                  {});
    const ConvertedNote note = convert(f);
    ASSERT_TRUE(note.package);
    const QList<bool> states = checklistStates(*note.package);
    ASSERT_EQ(states.size(), 100000);
    EXPECT_TRUE(states.first());
    EXPECT_FALSE(states.last());
    EXPECT_EQ(states.count(true), 50000);
}

TEST(NoteConversionTest, AHundredThousandTagsOfOneAttachmentStoreItsBytesOnce) {
    ItemFixture f(QStringLiteral("Repeated"),
                  QStringLiteral("<div>%MEDIA0%</div>").repeated(100000),
                  {document(QStringLiteral("a.pdf"), "%PDF-1.4 the only copy")});
    const ConvertedNote note = convert(f);
    ASSERT_TRUE(note.package);
    const auto found = attachments(*note.package->noteText());
    ASSERT_EQ(found.size(), 100000);
    EXPECT_EQ(found.last().second, QByteArray("%PDF-1.4 the only copy"));
    // The package holds the text, its attributes and the attachment's one file.
    const QString package = note.dict.value(QStringLiteral("absoluteFilename")).toString();
    EXPECT_EQ(QDir(package).entryList(QDir::Files).size(), 3)
        << QDir(package).entryList(QDir::Files).mid(0, 5).join(u',').toStdString();
}

TEST(NoteConversionTest, TenThousandNestedListsOrTablesFailThatNoteWithItsReason) {
    for (const auto& [open, close, what] :
         {std::tuple{"<ul><li>x", "</li></ul>", "lists"},
          std::tuple{"<table><tr><td>x", "</td></tr></table>", "tables"}}) {
        ItemFixture nested(
            QStringLiteral("Nested"),
            QString::fromLatin1(open).repeated(10000) + QString::fromLatin1(close).repeated(10000),
            {});
        Error error;
        EXPECT_FALSE(nested.item->itemDictInGroup(folderGroup(), &error)) << what;
        EXPECT_EQ(error.domain(), kHTMLNestingErrorDomain);
        EXPECT_TRUE(error.localizedDescription().contains(QLatin1String(what)))
            << error.description().toStdString();
        EXPECT_TRUE(nested.files().isEmpty());
    }
    // The nesting of a real note converts as before.
    ItemFixture nested(QStringLiteral("Nested"),
                       QStringLiteral("<ul><li>x").repeated(20) +
                           QStringLiteral("</li></ul>").repeated(20) +
                           QStringLiteral("<table><tr><td>y").repeated(5) +
                           QStringLiteral("</td></tr></table>").repeated(5),
                       {});
    const ConvertedNote note = convert(nested);
    ASSERT_TRUE(note.package);
    EXPECT_EQ(note.package->noteText()->string().count(u'x'), 20);
}

TEST(NoteConversionTest, TenThousandNestedBlocksEndWithAPackageOrAnError) {
    // Beyond the XML parser's depth the note is read as HTML; neither the
    // reading nor the conversion may recurse once per level.
    ItemFixture nested(QStringLiteral("Nested"),
                       QStringLiteral("<div>").repeated(10000) + QStringLiteral("deep") +
                           QStringLiteral("</div>").repeated(10000),
                       {});
    Error error;
    const auto dict = nested.item->itemDictInGroup(folderGroup(), &error);
    if (!dict) {
        EXPECT_FALSE(error.localizedDescription().isEmpty());
    }
}
