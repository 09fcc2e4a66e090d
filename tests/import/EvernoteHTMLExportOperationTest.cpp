#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimeZone>

#include "import/EvernoteHTMLExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/RTFDPackage.h"
#include "tests/import/DescriptionCopy.h"
#include "tests/support/Applications.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/LibraryReader.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kUseHTMLExport = QStringLiteral("UseHTMLExport");

TestAttachment pdf(const QString& name) {
    return {QByteArray("%PDF-1.4 ") + name.toUtf8(), "application/pdf", name};
}
TestAttachment png(const QString& name) {
    // The smallest PNG: one transparent pixel.
    return {QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPh"
                                   "fDwAChwGA60e6kgAAAABJRU5ErkJggg=="),
            "image/png", name};
}

// Evernote that lets a test change what the stand-in lists, or lose an export.
class AlteredEvernote : public EvernoteApplication {
  public:
    std::shared_ptr<EvernoteApplication> real;
    std::function<void(EvernoteNote&)> alterNote = [](EvernoteNote&) {};
    // Writes a note's export instead of the stand-in when it returns true.
    std::function<bool(const EvernoteNote&, const QString& folder)> replacesExport =
        [](const EvernoteNote&, const QString&) { return false; };

    class Notebook : public EvernoteNotebook {
      public:
        Notebook(std::shared_ptr<EvernoteNotebook> real, const AlteredEvernote* app)
            : real_(std::move(real)), app_(app) {}
        QString name() const override { return real_->name(); }
        QList<EvernoteNote> notes() const override {
            QList<EvernoteNote> notes = real_->notes();
            for (EvernoteNote& note : notes) app_->alterNote(note);
            return notes;
        }

      private:
        std::shared_ptr<EvernoteNotebook> real_;
        const AlteredEvernote* app_;
    };

    QString version() const override { return real->version(); }
    QList<std::shared_ptr<EvernoteNotebook>> notebooks() const override {
        QList<std::shared_ptr<EvernoteNotebook>> result;
        for (const auto& notebook : real->notebooks())
            result << std::make_shared<Notebook>(notebook, this);
        return result;
    }
    void activate() override {}
    void exportNotes(const QList<EvernoteNote>& notes, const QUrl& url, bool tags,
                     quint32 format) override {
        if (!replacesExport(notes.first(), url.toLocalFile()))
            real->exportNotes(notes, url, tags, format);
    }
};

// Evernote with a folder of notebooks, Pelmora importing into a test library,
// "UseHTMLExport" on.
struct HTMLImport {
    TestEnvironment env;
    RecordingDelegate delegate;
    std::shared_ptr<EvernoteExportOperation> operation;
    std::unique_ptr<DescriptionCopy> description;
    OperationQueue queue;
    QString library = env.path(QStringLiteral("library"));
    bool recordsWait = false;
    std::shared_ptr<NoteReport> report;  // set on the run when not null

    explicit HTMLImport(const QList<QPair<QString, QList<TestNote>>>& notebooks) {
        for (const auto& [name, notes] : notebooks)
            env.writeFile(QStringLiteral("evernote/%1.enex").arg(name), buildENEX(notes));
        installEvernote(env, env.path(QStringLiteral("evernote")));
        PelmoraStandIn::setLibraryPathOverride(library);
        UserDefaults::standard().setVolatileValue(true, kUseHTMLExport);
    }
    ~HTMLImport() {
        queue.waitUntilAllOperationsAreFinished();
        PelmoraStandIn::setLibraryPathOverride(QString());
        UserDefaults::standard().setVolatileValue(PlistValue(), kUseHTMLExport);
    }

    void run(std::shared_ptr<EvernoteApplication> evernote = nullptr,
             const std::function<void()>& whileRunning = {}) {
        if (!evernote) evernote = EvernoteApplication::applicationWithBundleIdentifier();
        ASSERT_NE(evernote, nullptr);
        operation = EvernoteExportOperation::exportOperationForApp(evernote, evernote->notebooks(),
                                                                   &delegate);
        description = std::make_unique<DescriptionCopy>(*operation);
        operation->setRecordsWaitForDelegate(recordsWait);
        if (report) operation->setNoteReport(report);
        queue.addOperation(operation);
        ASSERT_TRUE(runEventLoopUntil([&] { return delegate.ended.load(); }, 120000));
    }

    PlistDictionary entities(const QString& kind) const {
        return description->read()
            .value(QStringLiteral("Entities"))
            .toDictionary()
            .value(kind)
            .toDictionary();
    }
    // The description's items by name.
    QMap<QString, PlistDictionary> itemsByName() const {
        QMap<QString, PlistDictionary> items;
        const PlistDictionary all = entities(QStringLiteral("Item"));
        for (const auto& [id, item] : all.entries())
            items.insert(item.toDictionary().value(QStringLiteral("name")).toString(),
                         item.toDictionary());
        return items;
    }
    QString log() const {
        QFile file(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

std::shared_ptr<EvernoteHTMLExportOperation> bareOperation() {
    return std::make_shared<EvernoteHTMLExportOperation>();
}

}  // namespace

TEST(EvernoteHTMLExportOperationTest, ImportsNotesAsPackagesAndSingleAttachmentsAsTheirFiles) {
    TestNote ordinary{QStringLiteral("Trip"),
                      QStringLiteral("<div>See report.pdf below</div><div>%1</div><div>%2</div>"
                                     "<div><en-todo checked=\"true\"/>Pack</div>")};
    ordinary.attachments = {pdf(QStringLiteral("report.pdf")), png(QStringLiteral("map.png"))};
    ordinary.enml =
        ordinary.enml.arg(enMedia(ordinary.attachments[0]), enMedia(ordinary.attachments[1]));
    ordinary.tags = {QStringLiteral("a"), QString(), QStringLiteral("b")};
    ordinary.sourceURL = QStringLiteral("https://example.com/trip");
    ordinary.updated = QStringLiteral("20140102T030405Z");
    TestNote onlyPDF{QStringLiteral("Statement"), QStringLiteral("%MEDIA0%")};
    onlyPDF.attachments = {pdf(QStringLiteral("report.pdf"))};
    TestNote onlyImage{QStringLiteral("Photo"), QStringLiteral("<div>%MEDIA0%<br/></div>")};
    onlyImage.attachments = {png(QStringLiteral("photo.png"))};
    TestNote webLink{QStringLiteral("Link"),
                     QStringLiteral("<a href=\"http://example.com/x.pdf\">x.pdf</a>")};
    TestNote twin{QStringLiteral("Same"), QStringLiteral("<div>one</div>")};
    TestNote twin2{QStringLiteral("Same"), QStringLiteral("<div>two</div>")};

    HTMLImport import(
        {{QStringLiteral("Alpha"), {ordinary, onlyPDF, onlyImage, webLink, twin, twin2}},
         {QStringLiteral("Empty"), {}}});
    import.run();
    ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("end")) << import.log().toStdString();
    EXPECT_EQ(import.delegate.exported, 6);

    const auto items = import.itemsByName();
    ASSERT_EQ(items.size(), 6) << items.keys().join(u',').toStdString();
    EXPECT_EQ(items.value("Trip").value("itemType").toInteger(), 1);
    EXPECT_EQ(items.value("Trip").value("tagsString").toString(), QStringLiteral("a,b"));
    EXPECT_EQ(items.value("Trip").value("comments").toString(), ordinary.sourceURL);
    EXPECT_EQ(items.value("Trip").value("filename").toString(), QStringLiteral("Trip.pmnote"));
    // A single attachment is its own file, named as Evernote wrote it, with a fresh identifier.
    EXPECT_EQ(items.value("report").value("itemType").toInteger(), 2);
    EXPECT_TRUE(items.value("report")
                    .value("absoluteFilename")
                    .toString()
                    .endsWith("/Statement.resources/report.pdf"));
    EXPECT_EQ(items.value("report").value("identifier").toString().size(), 36);
    EXPECT_EQ(items.value("photo").value("itemType").toInteger(), 3);
    EXPECT_EQ(items.value("Link").value("itemType").toInteger(),
              1);  // an http link is an ordinary note
    EXPECT_TRUE(items.contains("Same"));
    EXPECT_TRUE(items.contains("Same 1"));  // alike titles, distinct packages

    // The groups: the notebook's items without duplicates; the empty notebook has none.
    QMap<QString, PlistDictionary> groups;
    const PlistDictionary folders = import.entities(QStringLiteral("Folder"));
    for (const auto& [id, group] : folders.entries())
        groups.insert(group.toDictionary().value("name").toString(), group.toDictionary());
    QStringList members;
    const PlistArray alpha = groups.value("Alpha").value("items").toArray();
    for (const PlistValue& id : alpha.values()) members << id.toString();
    EXPECT_EQ(members.size(), 6);
    EXPECT_EQ(QSet<QString>(members.begin(), members.end()).size(), 6);
    const PlistArray empty = groups.value("Empty").value("items").toArray();
    EXPECT_TRUE(empty.values().empty());

    // In the library: the package holds the note's text with both attachments embedded, no
    // note attributes, and the note's date and tags.
    QString error;
    const auto library = readLibrary(import.library, &error);
    ASSERT_TRUE(library) << error.toStdString();
    const auto trip = std::find_if(library->begin(), library->end(),
                                   [](const LibraryItem& i) { return i.indexName == "Trip"; });
    ASSERT_NE(trip, library->end());
    EXPECT_TRUE(trip->text.contains(QStringLiteral("See report.pdf below")))
        << trip->text.toStdString();
    EXPECT_EQ(trip->text.count(QChar(0xFFFC)), 3);  // the PDF, the image and the check box
    EXPECT_EQ(trip->attachmentDigests.size(), 2);
    EXPECT_TRUE(trip->text.contains(QStringLiteral("\uFFFCPack"))) << trip->text.toStdString();
    EXPECT_FALSE(QFile::exists(trip->path + QStringLiteral("/NoteAttributes")));
    EXPECT_EQ(trip->fileModified, QDateTime(QDate(2014, 1, 2), QTime(3, 4, 5), QTimeZone::utc()));
    EXPECT_EQ(trip->fileTags, (QStringList{"a", "b"}));
}

TEST(EvernoteHTMLExportOperationTest, ItemIdentifierComesFromTheNoteLinkAndIsNeverTakenTwice) {
    TestNote first{QStringLiteral("First"), QStringLiteral("<div>1</div>")};
    TestNote second{QStringLiteral("Second"), QStringLiteral("<div>2</div>")};
    HTMLImport import({{QStringLiteral("Alpha"), {first, second}}});
    auto evernote = std::make_shared<AlteredEvernote>();
    evernote->real = EvernoteApplication::applicationWithBundleIdentifier();
    evernote->alterNote = [](EvernoteNote& note) {
        note.noteLink = QStringLiteral("evernote:///view/1/s1/NOTE-ID/NOTE-ID/");
    };
    import.run(evernote);
    ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
    const auto items = import.itemsByName();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items.value("First").value("identifier").toString(), QStringLiteral("NOTE-ID"));
    EXPECT_NE(items.value("Second").value("identifier").toString(), QStringLiteral("NOTE-ID"));
}

TEST(EvernoteHTMLExportOperationTest, NoteLinkGivesTheIdentifierOrAFreshOne) {
    EXPECT_EQ(EvernoteHTMLExportOperation::identifierForNoteLink(
                  "evernote:///view/7/s1/abc-def/abc-def/"),
              "abc-def");
    EXPECT_EQ(EvernoteHTMLExportOperation::identifierForNoteLink("").size(), 36);
    EXPECT_EQ(EvernoteHTMLExportOperation::identifierForNoteLink("evernote:///").size(), 36);
}

TEST(EvernoteHTMLExportOperationTest, AMissingPageIsSkippedAndAnUnreadableOneIsAnOrdinaryNote) {
    const QString div = QStringLiteral("<div>x</div>");
    HTMLImport import(
        {{QStringLiteral("Alpha"),
          {TestNote{QStringLiteral("Lost"), div}, TestNote{QStringLiteral("Empty"), div},
           TestNote{QStringLiteral("Kept"), div}}}});
    auto evernote = std::make_shared<AlteredEvernote>();
    evernote->real = EvernoteApplication::applicationWithBundleIdentifier();
    evernote->replacesExport = [](const EvernoteNote& note, const QString& folder) {
        QDir().mkpath(folder);  // a folder without the page, or with an empty page
        if (note.title == QLatin1String("Empty"))
            QFile(folder + QStringLiteral("/Empty.html")).open(QIODevice::WriteOnly);
        return note.title != QLatin1String("Kept");
    };
    import.run(evernote);
    EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
    EXPECT_EQ(import.delegate.exported, 2);  // the lost note is not counted
    // ...but the summary names it among the skipped notes.
    const auto skipped = import.operation->skippedNotes();
    ASSERT_EQ(skipped.size(), 1);
    EXPECT_EQ(skipped[0].title, QStringLiteral("Lost"));
    EXPECT_EQ(skipped[0].reason, QStringLiteral("Evernote gave no export of the note."));
    EXPECT_EQ(import.itemsByName().keys(), (QStringList{"Empty", "Kept"}));
    EXPECT_EQ(import.itemsByName().value("Empty").value("itemType").toInteger(), 1);
    const QString log = import.log();
    EXPECT_TRUE(
        log.contains(QStringLiteral("Cannot convert note because exported file not found: Lost")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("Couldn't check for attachment in exported file Empty.html")));
}

TEST(EvernoteHTMLExportOperationTest, CancellationBeforeANoteEndsTheRunWithoutADescription) {
    QList<TestNote> notes;
    for (int i = 0; i < 5; ++i)
        notes << TestNote{QStringLiteral("N%1").arg(i), QStringLiteral("<div>n</div>")};
    HTMLImport import({{QStringLiteral("Alpha"), notes}, {QStringLiteral("Beta"), notes}});
    import.recordsWait = true;
    import.delegate.onRecord = [&](int exported) { if (exported == 2) import.operation->cancel();
};
import.run();
EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("cancel"));
EXPECT_EQ(import.delegate.exported, 2);
EXPECT_FALSE(QFile::exists(import.description->path()));
EXPECT_FALSE(QDir(import.library).exists());
}

TEST(EvernoteHTMLExportOperationTest, SingleAttachmentIsARelativeFileInsideTheExportFolder) {
    TestEnvironment env;
    env.writeFile("export/Note.resources/report.pdf", "%PDF");
    env.writeFile("export/Note.resources/photo #1.png", "png");
    env.writeFile("outside.pdf", "%PDF");
    auto operation = bareOperation();
    struct Case {
        QString body;
        bool single;
        QString file;
    };
    const QList<Case> cases{
        {"<a href=\"Note.resources/report.pdf\">report.pdf</a>", true, "report.pdf"},
        {"<div><a href=\"Note.resources/report.pdf\">report.pdf</a></div>", true, "report.pdf"},
        {"<img src=\"Note.resources/photo #1.png\">", true, "photo #1.png"},
        {"<a href=\"http://example.com/report.pdf\">report.pdf</a>", false, ""},
        {"<a href=\"../outside.pdf\">outside.pdf</a>", false, ""},
        {"<a href=\"Note.resources/missing.pdf\">missing.pdf</a>", false, ""},
        {"<div>text</div><a href=\"Note.resources/report.pdf\">report.pdf</a>", false, ""},
    };
    for (const Case& c : cases) {
        const QString page = env.writeFile("export/Note.html",
                                           ("<html><body>" + c.body + "</body></html>").toUtf8());
        bool single = true;
        QUrl url;
        ASSERT_TRUE(operation->exportedNoteAtPath(page, &single, &url)) << c.body.toStdString();
        EXPECT_EQ(single, c.single) << c.body.toStdString();
        if (c.single) {
            EXPECT_EQ(url.fileName(), c.file) << c.body.toStdString();
        }
    }
}

TEST(EvernoteHTMLExportOperationTest, AttachmentTypesMapToItemTypes) {
    EXPECT_EQ(EvernoteHTMLExportOperation::itemTypeForAttachmentType("public.png"), 3);
    EXPECT_EQ(EvernoteHTMLExportOperation::itemTypeForAttachmentType("public.mpeg-4"), 5);
    EXPECT_EQ(EvernoteHTMLExportOperation::itemTypeForAttachmentType("public.mp3"), 4);
    EXPECT_EQ(EvernoteHTMLExportOperation::itemTypeForAttachmentType("com.apple.webarchive"), 7);
    EXPECT_EQ(EvernoteHTMLExportOperation::itemTypeForAttachmentType("public.html"), 7);
    EXPECT_EQ(
        EvernoteHTMLExportOperation::itemTypeForAttachmentType("com.apple.web-internet-location"),
        6);
    EXPECT_EQ(EvernoteHTMLExportOperation::itemTypeForAttachmentType("com.adobe.pdf"), 2);
}

TEST(EvernoteHTMLExportOperationTest, OnlyLinksToTheirOwnResourceFileAreEmbedded) {
    TestEnvironment env;
    env.writeFile("export/Note.resources/a.pdf", "%PDF a");
    env.writeFile("export/Note.resources/b.pdf", "%PDF b");
    env.writeFile("export/Note.resources/.c.pdf", "%PDF c");
    env.writeFile("export/elsewhere/b.pdf", "%PDF elsewhere");
    const QString page =
        env.writeFile("export/Note.html",
                      "<html><body><p>a.pdf is here: <a href=\"Note.resources/a.pdf\">a.pdf</a></p>"
                      "<p><a href=\"elsewhere/b.pdf\">b.pdf</a></p>"
                      "<p><a href=\"Note.resources/.c.pdf\">.c.pdf</a></p></body></html>");
    EvernoteHTMLConversionRequest request{page, env.path("Note.pmnote"), EvernoteNote{}};
    bareOperation()->convertEvernoteToPelmora(request);
    ASSERT_TRUE(request.success) << request.error.description().toStdString();
    const auto text = RTFDPackage::readFromPath(request.noteFilePath);
    ASSERT_TRUE(text);
    // The name in the text before the link stays text; a link elsewhere stays a link; a
    // hidden file's name is no reason to lose it.
    EXPECT_EQ(text->string(), QStringLiteral("a.pdf is here: \uFFFC\nb.pdf\n\uFFFC\n"));
    QList<QByteArray> embedded;
    text->enumerateAttachments({0, text->length()},
                               [&](const TextAttachment& attachment, const TextRange&, bool&) {
                                   embedded << attachment.fileWrapper().regularFileContents();
                               });
    EXPECT_EQ(embedded, (QList<QByteArray>{"%PDF a", "%PDF c"}));
}

TEST(EvernoteHTMLExportOperationTest, APackageThatCannotBeWrittenLeavesNothingBehind) {
    TestEnvironment env;
    const QByteArray paragraph = "<p>" + QByteArray(1000, 'x') + "</p>";
    const QString page = env.writeFile("export/Note.html",
                                       "<html><body>" + paragraph.repeated(200) + "</body></html>");
    QDir().mkpath(env.path("notebook"));
    EvernoteHTMLConversionRequest request{page, env.path("notebook/Note.pmnote"), EvernoteNote{}};
    {
        const FileSizeLimit limit(64 * 1024);  // the text fails part way through
        bareOperation()->convertEvernoteToPelmora(request);
    }
    EXPECT_FALSE(request.success);
    EXPECT_FALSE(request.error.isNull());
    EXPECT_TRUE(QDir(env.path("notebook"))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
}

TEST(EvernoteHTMLExportOperationTest, PackagesOpenInLibreOfficeWithTheNotesText) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "no LibreOffice";
    TestEnvironment env;
    env.writeFile("export/Note.resources/a.pdf", "%PDF a");
    const QString page = env.writeFile("export/Note.html",
                                       "<html><body><h1>Plan</h1><p>Bring <b>maps</b> and <a "
                                       "href=\"Note.resources/a.pdf\">a.pdf</a></p></body></html>");
    EvernoteHTMLConversionRequest request{page, env.path("Note.pmnote"), EvernoteNote{}};
    bareOperation()->convertEvernoteToPelmora(request);
    ASSERT_TRUE(request.success);
    const QString contents = QString::fromUtf8(convertWithLibreOffice(
        soffice, env, request.noteFilePath + "/TXT.rtf", QStringLiteral("txt:Text")));
    EXPECT_TRUE(contents.contains("Plan")) << contents.toStdString();
    EXPECT_TRUE(contents.contains("Bring maps and")) << contents.toStdString();
}

// The HTML path's description carries no dates for its items; the library's
// index must still record every note's dates as the ENEX gives them, for
// packages and single attachments alike.
TEST(EvernoteHTMLExportOperationTest, LibraryIndexHoldsEveryNotesDatesFromTheENEX) {
    TestNote note{QStringLiteral("Trip"), QStringLiteral("<div>text</div>")};
    note.created = QStringLiteral("20110203T040506Z");
    note.updated = QStringLiteral("20120304T050607Z");
    TestNote attachment{QStringLiteral("Statement"), QStringLiteral("%MEDIA0%")};
    attachment.attachments = {pdf(QStringLiteral("report.pdf"))};
    attachment.created = QStringLiteral("20090807T060504Z");
    attachment.updated = QStringLiteral("20100908T070605Z");
    HTMLImport import({{QStringLiteral("Alpha"), {note, attachment}}});
    import.run();
    ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("end")) << import.log().toStdString();

    const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
    };
    QString error;
    const auto library = readLibrary(import.library, &error);
    ASSERT_TRUE(library) << error.toStdString();
    ASSERT_EQ(library->size(), 2);
    for (const LibraryItem& item : *library) {
        const bool isNote = item.indexName == QLatin1String("Trip");
        EXPECT_EQ(item.indexCreated, isNote ? utc(2011, 2, 3, 4, 5, 6) : utc(2009, 8, 7, 6, 5, 4))
            << item.indexName.toStdString();
        EXPECT_EQ(item.indexModified, isNote ? utc(2012, 3, 4, 5, 6, 7) : utc(2010, 9, 8, 7, 6, 5))
            << item.indexName.toStdString();
        EXPECT_EQ(item.fileCreated, item.indexCreated) << item.indexName.toStdString();
    }
}

// The HTML export carries no attributes of its own: every item of a note
// takes those Evernote lists for the note, in the description, in the
// library index and on its file.
TEST(EvernoteHTMLExportOperationTest, EveryItemKeepsTheAttributesOfItsNote) {
    TestNote note{QStringLiteral("Trip"), QStringLiteral("<div>text</div>")};
    note.sourceURL = QStringLiteral("https://example.com/trip");
    TestNote attachment{QStringLiteral("Statement"), QStringLiteral("%MEDIA0%")};
    attachment.attachments = {pdf(QStringLiteral("report.pdf"))};
    attachment.source = QStringLiteral("mobile.ios");
    HTMLImport import({{QStringLiteral("Alpha"), {note, attachment}}});
    import.run();
    ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("end")) << import.log().toStdString();

    const auto items = import.itemsByName();
    EXPECT_EQ(items.value("Trip")
                  .value("evernoteAttributes")
                  .toDictionary()
                  .value("source-url")
                  .toString(),
              note.sourceURL);
    const PlistDictionary report = items.value("report").value("evernoteAttributes").toDictionary();
    EXPECT_EQ(report.value("source").toString(), QStringLiteral("mobile.ios"));
    EXPECT_EQ(report.value("resource.1.file-name").toString(), QStringLiteral("report.pdf"));

    QString error;
    const auto library = readLibrary(import.library, &error);
    ASSERT_TRUE(library) << error.toStdString();
    for (const LibraryItem& item : *library) {
        const bool isNote = item.indexName == QLatin1String("Trip");
        const QMap<QString, QString> expected =
            isNote ? QMap<QString, QString>{{"source-url", note.sourceURL}}
                   : QMap<QString, QString>{{"source", "mobile.ios"},
                                            {"resource.1.file-name", "report.pdf"}};
        EXPECT_EQ(item.indexAttributes, expected) << item.indexName.toStdString();
        if (item.fileExtendedAttributes.isEmpty()) continue;  // no extended attributes here
        EXPECT_EQ(item.fileExtendedAttributes.value(isNote ? "user.xdg.origin.url"
                                                           : "user.ferrymark.source"),
                  (isNote ? note.sourceURL : QStringLiteral("mobile.ios")).toUtf8())
            << item.indexName.toStdString();
    }
}

// A link from one note to another of the run leads to the other's item, by
// its text; one whose text names no note stays as it was.
TEST(EvernoteHTMLExportOperationTest, LinksBetweenNotesLeadToTheirItems) {
    const QString guid = QStringLiteral("914ba57d-d5e6-4ef5-ba5b-b9134529c188");
    const QString link = QStringLiteral("evernote:///view/1/s1/%1/%1/").arg(guid);
    TestNote source{QStringLiteral("Source"),
                    QStringLiteral("<div><a href=\"%1\">Target</a> and <a href=\"%1\">Elsewhere</a>"
                                   "</div>")
                        .arg(link)};
    HTMLImport import(
        {{QStringLiteral("Alpha"), {source}},
         {QStringLiteral("Beta"), {{QStringLiteral("Target"), QStringLiteral("<div/>")}}}});
    import.run();
    ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("end")) << import.log().toStdString();
    const QString target = import.itemsByName().value("Target").value("identifier").toString();
    const auto library = readLibrary(import.library);
    ASSERT_TRUE(library);
    const auto item = std::find_if(library->begin(), library->end(),
                                   [](const LibraryItem& i) { return i.indexName == "Source"; });
    ASSERT_NE(item, library->end());
    ASSERT_EQ(item->links.size(), 2);
    EXPECT_EQ(item->links[0].url, PelmoraApplication::itemLinkURL(target));
    EXPECT_EQ(item->links[1].url, QUrl(link));
    const auto followed = PelmoraStandIn::builtIn()->pathOfLinkedItem(item->links[0].url);
    ASSERT_TRUE(followed);
    EXPECT_EQ(*followed, import.library + QStringLiteral("/Beta/Target.pmnote"));
    EXPECT_EQ(import.operation->noteLinks()->resolvedCount(), 1u);
    EXPECT_EQ(import.operation->noteLinks()->leftCount(), 1u);
}

// The note-by-note export has its report too: the attachments Evernote wrote
// beside each page, the item each note became, and the note Evernote gave no
// export of, skipped with the reason.
TEST(EvernoteHTMLExportOperationTest, ReportGivesEveryNoteItsEntry) {
    TestNote withText{QStringLiteral("Trip"), QStringLiteral("<div>plans</div>%MEDIA0%")};
    withText.attachments = {pdf(QStringLiteral("ticket.pdf"))};
    TestNote only{QStringLiteral("Scan"), QStringLiteral("%MEDIA0%")};
    only.attachments = {pdf(QStringLiteral("scan.pdf"))};
    const TestNote lost{QStringLiteral("Lost"), QStringLiteral("<div>gone</div>")};
    HTMLImport import({{QStringLiteral("Travel"), {withText, only, lost}}});
    import.report = std::make_shared<NoteReport>();
    auto evernote = std::make_shared<AlteredEvernote>();
    evernote->real = EvernoteApplication::applicationWithBundleIdentifier();
    evernote->replacesExport = [](const EvernoteNote& note, const QString&) {
        return note.title == QStringLiteral("Lost");  // nothing written
    };
    import.run(evernote);
    const QList<NoteReport::Entry> entries = import.report->entries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].title, QStringLiteral("Trip"));
    EXPECT_EQ(entries[0].outcome, NoteReport::Outcome::Imported);
    EXPECT_EQ(NoteReport::kindText(entries[0].itemType), QStringLiteral("note"));
    EXPECT_EQ(entries[0].attachments, 1);
    EXPECT_EQ(entries[0].attachmentBytes, pdf(QStringLiteral("ticket.pdf")).bytes.size());
    EXPECT_EQ(NoteReport::kindText(entries[1].itemType), QStringLiteral("attachment"));
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(entries[i].path.startsWith(import.library)) << entries[i].path.toStdString();
        EXPECT_TRUE(QFileInfo::exists(entries[i].path));
    }
    EXPECT_EQ(entries[2].outcome, NoteReport::Outcome::Skipped);
    EXPECT_EQ(entries[2].index, 2u);
    EXPECT_EQ(entries[2].error.code(), EvernoteExportNoteConversionFailed);
    EXPECT_TRUE(entries[2].path.isEmpty());
}
