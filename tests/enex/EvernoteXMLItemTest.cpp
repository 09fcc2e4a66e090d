#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "enex/EvernoteXMLItem.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/enex/ItemFixture.h"
#include "tests/platform/web/WebTestServer.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

namespace {

TestAttachment pdf(const QString& fileName = QStringLiteral("report.pdf")) {
    return {QByteArray("%PDF-1.4 test"), QStringLiteral("application/pdf"), fileName};
}

}  // namespace

TEST(EvernoteXMLItemTest, SingleAttachmentBecomesItsFileNamedAfterTheTitle) {
    for (const QString& enml :
         {QStringLiteral("%MEDIA0%"), QStringLiteral("<div><br/>%MEDIA0%<br/></div>")}) {
        ItemFixture f(QStringLiteral("Quarterly"), enml, {pdf()});
        f.item->record().created = QDateTime(QDate(2013, 7, 30), QTime(20, 52, 4), Qt::UTC);
        f.item->record().updated = QDateTime(QDate(2014, 1, 2), QTime(3, 4, 5), Qt::UTC);
        f.item->record().tags = {QStringLiteral("work"), QStringLiteral("finance")};
        f.item->record().noteAttributes.sourceURL = QStringLiteral("https://example.com/r");
        Error error;
        const auto dict = f.item->itemDictInGroup(folderGroup(), &error);
        ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
        EXPECT_EQ(
            dict->keys(),
            (QStringList{QStringLiteral("com.quorvel.Pelmora.EntityName"), QStringLiteral("name"),
                         QStringLiteral("identifier"), QStringLiteral("dateCreated"),
                         QStringLiteral("dateModified"), QStringLiteral("comments"),
                         QStringLiteral("tagsString"), QStringLiteral("itemType"),
                         QStringLiteral("filename"), QStringLiteral("absoluteFilename")}));
        EXPECT_EQ(dict->value(QStringLiteral("name")).toString(), QStringLiteral("Quarterly"));
        EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(),
                  QStringLiteral("Quarterly.pdf"));
        EXPECT_EQ(dict->value(QStringLiteral("itemType")).toInteger(), 2);
        EXPECT_EQ(dict->value(QStringLiteral("tagsString")).toString(),
                  QStringLiteral("work,finance"));
        EXPECT_FALSE(dict->contains(QStringLiteral("extensionHidden")));
        const QString path = dict->value(QStringLiteral("absoluteFilename")).toString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("%PDF-1.4 test"));
        const FileResourceValues values = resourceValues(path);
        EXPECT_EQ(values.contentModificationDate, f.item->record().updated);
        if (values.tagNames) {  // where the file system keeps them
            EXPECT_EQ(*values.tagNames, f.item->record().tags);
        }
        EXPECT_EQ(f.files(),
                  QStringList{QStringLiteral("Quarterly.pdf")});  // no scratch folder left
    }
}

TEST(EvernoteXMLItemTest, AttachmentNamesWithoutExtensionOrNameAtAll) {
    ItemFixture scan(QStringLiteral("Title"), QStringLiteral("%MEDIA0%"),
                     {pdf(QStringLiteral("scan"))});
    auto dict = scan.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("scan"));

    ItemFixture unnamed(QStringLiteral("Title"), QStringLiteral("%MEDIA0%"), {pdf(QString())});
    dict = unnamed.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("Untitled.pdf"));
}

TEST(EvernoteXMLItemTest, ImageNamedWithoutItsTypesExtensionGetsIt) {
    const TestAttachment photo{QByteArray("\x89PNG fake"), QStringLiteral("image/png"),
                               QStringLiteral("photo.png?size=large")};
    ItemFixture titled(QStringLiteral("Holiday"), QStringLiteral("%MEDIA0%"), {photo});
    auto dict = titled.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("itemType")).toInteger(), 3);
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("Holiday.png"));

    // Without a title the attachment's own name stays whole, the extension after it.
    ItemFixture untitled(QString(), QStringLiteral("%MEDIA0%"), {photo});
    dict = untitled.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(),
              QStringLiteral("photo.png?size=large.png"));
}

TEST(EvernoteXMLItemTest, HostileNamesStayInsideTheNotebookFolder) {
    const QStringList names = {QStringLiteral("../../escape"), QStringLiteral("/etc/passwd"),
                               QStringLiteral(".."),           QStringLiteral("."),
                               QStringLiteral("a/b"),          QString(300, u'x'),
                               QStringLiteral("bell\x07name"), QStringLiteral("  \n  ")};
    for (const QString& name : names) {
        ItemFixture f(QString(), QStringLiteral("%MEDIA0%"), {pdf(name)});
        const auto dict = f.item->itemDictInGroup(folderGroup());
        ASSERT_TRUE(dict.has_value()) << name.toStdString();
        const QFileInfo written(dict->value(QStringLiteral("absoluteFilename")).toString());
        EXPECT_EQ(written.absolutePath(), QFileInfo(f.folder).absoluteFilePath())
            << name.toStdString();
        EXPECT_TRUE(written.isFile()) << name.toStdString();
        EXPECT_LE(written.fileName().size(), 255);
        EXPECT_FALSE(QFile::exists(f.env.path(QStringLiteral("escape"))));
    }
}

TEST(EvernoteXMLItemTest, TitleWithoutTextKeepsTheAttachmentsOwnName) {
    ItemFixture f(QStringLiteral("   "), QStringLiteral("%MEDIA0%"),
                  {pdf(QStringLiteral("minutes.pdf"))});
    const auto dict = f.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("minutes.pdf"));
}

TEST(EvernoteXMLItemTest, SameNameTwiceGetsANumber) {
    ItemFixture f(QStringLiteral("Report"), QStringLiteral("%MEDIA0%"), {pdf()});
    QFile(f.folder + QStringLiteral("/Report.pdf")).open(QIODevice::WriteOnly);
    const auto dict = f.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("Report 1.pdf"));
}

TEST(EvernoteXMLItemTest, OtherNotesBecomeNotePackages) {
    const struct {
        QString enml;
        QList<TestAttachment> attachments;
    } cases[] = {
        {QStringLiteral("%MEDIA0%%MEDIA1%"), {pdf(), pdf(QStringLiteral("b.pdf"))}},
        {QStringLiteral("<div>text %MEDIA0%</div>"), {pdf()}},
        {QStringLiteral("%MEDIA0% tail"), {pdf()}},
        {QStringLiteral("<div>%MEDIA0%<span/></div>"), {pdf()}},
        {QStringLiteral("<div>just text</div>"), {}},
    };
    for (const auto& c : cases) {
        ItemFixture f(QStringLiteral("N"), c.enml, c.attachments);
        Error error;
        const auto dict = f.item->itemDictInGroup(folderGroup(), &error);
        ASSERT_TRUE(dict.has_value()) << c.enml.toStdString() << error.description().toStdString();
        EXPECT_EQ(dict->value(QStringLiteral("itemType")).toInteger(), 1);
        EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("N.pmnote"));
        EXPECT_EQ(dict->value(QStringLiteral("name")).toString(), QStringLiteral("N"));
        EXPECT_TRUE(dict->value(QStringLiteral("extensionHidden")).toBool());
        EXPECT_EQ(f.files(), QStringList{QStringLiteral("N.pmnote")})
            << c.enml.toStdString();  // scratch folder gone
    }
}

TEST(EvernoteXMLItemTest, NotePackageHoldsAttachmentsAndChecklistsWhereTheirMarkersStood) {
    ItemFixture f(QStringLiteral("Plan"),
                  QStringLiteral("<div><en-todo checked=\"true\"/>first</div><div><en-todo "
                                 "checked=\"true\"/>second</div>"
                                 "<div>see %MEDIA0% here</div>"),
                  {pdf(QStringLiteral("ticket.pdf"))});
    Error error;
    const auto dict = f.item->itemDictInGroup(folderGroup(), &error);
    ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
    const QString package = dict->value(QStringLiteral("absoluteFilename")).toString();
    EXPECT_TRUE(QFile::exists(package + QStringLiteral("/ticket.pdf")));
    QFile rtf(package + QStringLiteral("/TXT.rtf"));
    ASSERT_TRUE(rtf.open(QIODevice::ReadOnly));
    const QByteArray text = rtf.readAll();
    EXPECT_FALSE(text.contains("PELMORAATTACHMENT"));
    EXPECT_TRUE(text.contains("NeXTGraphic ticket.pdf"));
    auto note = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(package), &error);
    ASSERT_NE(note, nullptr) << error.description().toStdString();
    const auto checklists =
        note->noteAttributes().checklistItems().value_or(QList<PMNoteChecklistItem>());
    ASSERT_EQ(checklists.size(), 2);
    EXPECT_TRUE(checklists[0].on());
    EXPECT_TRUE(checklists[1].on());
}

// The note package and the XHTML of the HTML export read a to-do's state by one rule.
TEST(EvernoteXMLItemTest, ToDosAreTickedAlikeInNotePackagesAndInXHTML) {
    const QString enml = QStringLiteral(
        "<div><en-todo checked=\"true\"/>a</div><div><en-todo checked=\"TRUE\"/>b</div>"
        "<div><en-todo checked=\"false\"/>c</div><div><en-todo/>d</div>");
    const QList<bool> expected = {true, true, false, false};

    ItemFixture package(QStringLiteral("Package"), enml, {});
    Error error;
    const auto dict = package.item->itemDictInGroup(folderGroup(), &error);
    ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
    auto note = PMNoteFile::noteFileWithFileURL(
        QUrl::fromLocalFile(dict->value(QStringLiteral("absoluteFilename")).toString()), &error);
    ASSERT_NE(note, nullptr) << error.description().toStdString();
    QList<bool> packaged;
    for (const PMNoteChecklistItem& item :
         note->noteAttributes().checklistItems().value_or(QList<PMNoteChecklistItem>()))
        packaged << item.on();
    EXPECT_EQ(packaged, expected);

    ItemFixture page(QStringLiteral("Page"), enml, {});
    const QString scratch = page.folder + QStringLiteral("/scratch");
    ASSERT_TRUE(QDir().mkpath(scratch));
    page.item->intermediateHTMLDirectoryURL = QUrl::fromLocalFile(scratch);
    const auto document = XMLDocument::parse(page.item->record().contentData);
    ASSERT_NE(document, nullptr);
    const auto html = page.item->noteXHTMLStringFromNoteElement(
        document->nodesForXPath(QStringLiteral("en-note")).value(0), &error);
    ASSERT_TRUE(html.has_value()) << error.description().toStdString();
    QList<bool> written;
    for (const char* text : {"a", "b", "c", "d"})
        written << html->contains(QStringLiteral(u"\u2611\uFE0E ") + QLatin1String(text) +
                                  QStringLiteral("</div>"));
    EXPECT_EQ(written, expected);
    EXPECT_EQ(html->count(QStringLiteral(u"\u2610 ")), 2);
}

TEST(EvernoteXMLItemTest, SameTitleTwiceGivesANumberedPackage) {
    ItemFixture f(QStringLiteral("Same"), QStringLiteral("<div>one</div>"), {});
    ASSERT_TRUE(f.item->itemDictInGroup(folderGroup()).has_value());
    EvernoteXMLItem second(QUrl::fromLocalFile(f.folder));
    second.record().title = QStringLiteral("Same");
    second.record().contentData = "<en-note><div>two</div></en-note>";
    const auto dict = second.itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("Same 1.pmnote"));
}

TEST(EvernoteXMLItemTest, MarkerTextInANoteNeverReadsOtherFiles) {
    TestEnvironment env;
    ItemFixture f(
        QStringLiteral("Sly"),
        QStringLiteral("<div>***PELMORAATTACHMENT ../../secret PELMORAATTACHMENT***</div>"), {});
    f.env.writeFile(QStringLiteral("secret"), "do not import");
    Error error;
    const auto dict = f.item->itemDictInGroup(folderGroup(), &error);
    ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
    const QString package = dict->value(QStringLiteral("absoluteFilename")).toString();
    EXPECT_EQ(QDir(package).entryList(QDir::Files).size(), 2);  // TXT.rtf and NoteAttributes only
}

TEST(EvernoteXMLItemTest, WebClipWithOnlyImagesBecomesAWebArchive) {
    ItemFixture f(
        QStringLiteral("Clip"), QStringLiteral("<div>clipped %MEDIA0%</div>"),
        {{QByteArray("\x89PNG fake"), QStringLiteral("image/png"), QStringLiteral("shot.png")}});
    f.item->record().noteAttributes.source = QStringLiteral("web.clip");
    f.item->record().noteAttributes.sourceURL = QStringLiteral("https://example.com/page");
    std::optional<PlistDictionary> dict;
    Error error;
    OperationQueue worker;  // the web load needs the main thread free
    worker.addOperationWithBlock([&] { dict = f.item->itemDictInGroup(folderGroup(), &error); });
    ASSERT_TRUE(runEventLoopUntil([&] { return worker.operationCount() == 0; }, 60000));
    ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
    EXPECT_EQ(dict->value(QStringLiteral("itemType")).toInteger(), 7);
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(),
              QStringLiteral("Clip.webarchive"));
    auto archive =
        PlistValue::readFromFile(dict->value(QStringLiteral("absoluteFilename")).toString());
    ASSERT_TRUE(archive.has_value());
    const PlistDictionary root = archive->toDictionary();
    EXPECT_EQ(root.value(QStringLiteral("PelmoraResource"))
                  .toDictionary()
                  .value(QStringLiteral("PMOriginalWebURL"))
                  .toString(),
              QStringLiteral("https://example.com/page"));
    const PlistArray subresources = root.value(QStringLiteral("WebSubresources")).toArray();
    ASSERT_EQ(subresources.size(), 1);
    EXPECT_EQ(subresources.at(0).toDictionary().value(QStringLiteral("WebResourceData")).toData(),
              QByteArray("\x89PNG fake"));
}

// A refresh loads only http and https pages: a clip whose source is a local
// file, or whose page redirects to one, is archived from its stored body.
TEST(EvernoteXMLItemTest, WebClipRefreshNeverReadsLocalFiles) {
    struct RefreshOn {
        RefreshOn() { UserDefaults::standard().setVolatileValue(true, kReload); }
        ~RefreshOn() { UserDefaults::standard().setVolatileValue(PlistValue(), kReload); }
        const QString kReload = QStringLiteral("ReloadFromWeb");
    } refreshOn;
    WebTestServer server;
    TestEnvironment env;
    const QString secret = env.writeFile(QStringLiteral("private/secret.txt"), "private words");
    WebTestServer::Response moved{302, "text/html", "moved"};
    moved.headers.append({"Location", QUrl::fromLocalFile(secret).toEncoded()});
    server.route(QStringLiteral("/moved"), moved);

    for (const QUrl& source : {QUrl::fromLocalFile(secret), server.url(QStringLiteral("/moved"))}) {
        ItemFixture f(QStringLiteral("Clip"), QStringLiteral("<div>as clipped</div>"), {});
        f.item->record().noteAttributes.source = QStringLiteral("web.clip");
        f.item->record().noteAttributes.sourceURL = source.toString();
        std::optional<PlistDictionary> dict;
        OperationQueue worker;  // the web load needs the main thread free
        worker.addOperationWithBlock([&] { dict = f.item->itemDictInGroup(folderGroup()); });
        ASSERT_TRUE(runEventLoopUntil([&] { return worker.operationCount() == 0; }, 60000));
        ASSERT_TRUE(dict.has_value()) << source.toString().toStdString();
        EXPECT_EQ(dict->value(QStringLiteral("itemType")).toInteger(), 7);
        QFile archive(dict->value(QStringLiteral("absoluteFilename")).toString());
        ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
        const QByteArray bytes = archive.readAll();
        EXPECT_TRUE(bytes.contains("as clipped")) << source.toString().toStdString();
        EXPECT_FALSE(bytes.contains("private words")) << source.toString().toStdString();
    }
    EXPECT_EQ(server.hits(QStringLiteral("/moved")), 1);
}

TEST(EvernoteXMLItemTest, WebClipWithADocumentFallsBackToANotePackage) {
    ItemFixture f(QStringLiteral("Clip"), QStringLiteral("<div>clipped %MEDIA0%</div>"), {pdf()});
    f.item->record().noteAttributes.source = QStringLiteral("web.clip");
    f.item->record().noteAttributes.sourceURL = QStringLiteral("https://example.com/page");
    const auto dict = f.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("itemType")).toInteger(), 1);
    EXPECT_EQ(dict->value(QStringLiteral("filename")).toString(), QStringLiteral("Clip.pmnote"));
}

// A large attachment, kept in a file while the note converts, survives the
// web archive attempt that writes it beside the clip's page first.
TEST(EvernoteXMLItemTest, WebClipFallingBackKeepsALargeAttachmentsBytes) {
    ItemFixture f(QStringLiteral("Clip"), QStringLiteral("<div>clipped %MEDIA0%</div>"), {pdf()});
    auto spooled =
        std::make_unique<EvernoteXMLResource>(f.folder, 4);  // anything over 4 bytes goes to a file
    spooled->appendBase64Text(QString::fromLatin1(QByteArray("%PDF-1.4 test").toBase64()));
    spooled->mime = QStringLiteral("application/pdf");
    spooled->attributes.filename = QStringLiteral("report.pdf");
    ASSERT_FALSE(spooled->contentsPath().isEmpty());
    f.item->record().resources[0] = std::move(spooled);
    f.item->record().noteAttributes.source = QStringLiteral("web.clip");
    f.item->record().noteAttributes.sourceURL = QStringLiteral("https://example.com/page");
    const auto dict = f.item->itemDictInGroup(folderGroup());
    ASSERT_TRUE(dict.has_value());
    QFile attachment(dict->value(QStringLiteral("absoluteFilename")).toString() +
                     QStringLiteral("/report.pdf"));
    ASSERT_TRUE(attachment.open(QIODevice::ReadOnly));
    EXPECT_EQ(attachment.readAll(), QByteArray("%PDF-1.4 test"));
}

TEST(EvernoteXMLItemTest, TypedGroupsWriteIntoTheTypeFolder) {
    ItemFixture f(QStringLiteral("Pic"), QStringLiteral("%MEDIA0%"),
                  {{QByteArray("\x89PNG"), QStringLiteral("image/png"), QStringLiteral("p.png")}});
    QDir(f.folder).mkdir(QStringLiteral("Images"));
    PlistDictionary group;
    group.set(QStringLiteral("groupType"), 71);
    const auto dict = f.item->itemDictInGroup(group);
    ASSERT_TRUE(dict.has_value());
    EXPECT_EQ(dict->value(QStringLiteral("absoluteFilename")).toString(),
              f.folder + QStringLiteral("/Images/Pic.png"));
    EXPECT_EQ(EvernoteXMLItem::libraryFolderForType(7), QStringLiteral("Web Pages"));
    EXPECT_FALSE(EvernoteXMLItem::libraryFolderForType(8).has_value());
}

TEST(EvernoteXMLItemTest, ContentThatIsNotENMLIsStillReadAsText) {
    ItemFixture f(QStringLiteral("Loose"), QString(), {});
    f.item->record().contentData = "plain words &amp; <b>bold</i>";
    Error error;
    const auto dict = f.item->itemDictInGroup(folderGroup(), &error);
    ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
    const auto note = PMNoteFile::noteFileWithFileURL(
        QUrl::fromLocalFile(dict->value(QStringLiteral("absoluteFilename")).toString()), &error);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->noteText()->string().trimmed(), QStringLiteral("plain words & bold"));
}
