// Web bookmark files: reading every form, writing, naming, validation, undo
// and the pasteboard.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QStringEncoder>
#include <QTimeZone>
#include <QUndoStack>

#include "formats/PMWebBookmarkFile.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/plist/PlistValue.h"
#include "tests/platform/archive/PythonPlist.h"
#include "tests/support/TestEnvironment.h"

namespace {

QUrl url(const char* text) { return QUrl(QString::fromUtf8(text)); }

PMWebBookmarkFile readFile(const TestEnvironment& env, const QString& name,
                           const QByteArray& contents) {
    return PMWebBookmarkFile::bookmarkWithFileAtURL(
        QUrl::fromLocalFile(env.writeFile(name, contents)));
}

QByteArray plist(const PlistDictionary& dictionary,
                 PlistValue::Format format = PlistValue::Format::Xml) {
    return PlistValue(dictionary).serialize(format);
}

}  // namespace

TEST(PMWebBookmarkFileReading, LocationPropertyLists) {
    TestEnvironment env;
    PlistDictionary full;
    full.set(QStringLiteral("URL"), QStringLiteral("https://example.org/page"));
    full.set(QStringLiteral("public.url-name"), QStringLiteral("Example\npage"));
    const auto named =
        readFile(env, QStringLiteral("a.webloc"), plist(full, PlistValue::Format::Binary));
    EXPECT_EQ(named.URL(), url("https://example.org/page"));
    EXPECT_EQ(named.name(), "Example page");

    // Without a name the file's name stands in, whatever the sister extension.
    PlistDictionary bare;
    bare.set(QStringLiteral("URL"), QStringLiteral("ftp://files.example.org/x"));
    const auto unnamed = readFile(env, QStringLiteral("My files.ftploc"), plist(bare));
    EXPECT_EQ(unnamed.name(), "My files");
    EXPECT_EQ(unnamed.URL(), url("ftp://files.example.org/x"));

    PlistDictionary broken;
    broken.set(QStringLiteral("URL"), QStringLiteral("http://exa mple.org/"));
    const auto unparsable = readFile(env, QStringLiteral("b.inetloc"), plist(broken));
    EXPECT_TRUE(unparsable.URL().isEmpty());
    EXPECT_EQ(unparsable.name(), "b");
}

TEST(PMWebBookmarkFileReading, ShortcutFiles) {
    TestEnvironment env;
    const auto shortcut =
        readFile(env, QStringLiteral("Site.url"),
                 "[InternetShortcut]\r\nURL=https://example.org/a?b=c\r\nIconIndex=0\r\n");
    EXPECT_EQ(shortcut.storedName(), "Site");
    EXPECT_EQ(shortcut.fileURL(), QUrl::fromLocalFile(env.path(QStringLiteral("Site.url"))));
    EXPECT_EQ(shortcut.URL(), url("https://example.org/a?b=c"));

    // The first "URL=" wins, even at the end of a longer key.
    const auto baseURL = readFile(env, QStringLiteral("Base.url"),
                                  "[DEFAULT]\nBASEURL=http://first.example.org/ "
                                  "x\n[InternetShortcut]\nURL=http://second.example.org/\n");
    EXPECT_EQ(baseURL.URL(), url("http://first.example.org/"));

    const auto without =
        readFile(env, QStringLiteral("None.url"), "[InternetShortcut]\nIconFile=x\n");
    EXPECT_TRUE(without.storedName().isEmpty());
    EXPECT_TRUE(without.URL().isEmpty());

    const auto emptyURL = readFile(env, QStringLiteral("Empty.url"), "[InternetShortcut]\nURL=\n");
    EXPECT_EQ(emptyURL.storedName(), "Empty");
    EXPECT_TRUE(emptyURL.URL().isEmpty());
}

TEST(PMWebBookmarkFileReading, DesktopLinkEntries) {
    TestEnvironment env;
    const auto link =
        readFile(env, QStringLiteral("Docs.desktop"),
                 "[Desktop Entry]\nType=Link\nName=Project docs\nURL=https://docs.example.org/\n");
    EXPECT_EQ(link.name(), "Project docs");
    EXPECT_EQ(link.URL(), url("https://docs.example.org/"));
    const auto application =
        readFile(env, QStringLiteral("App.desktop"), "[Desktop Entry]\nType=Application\nExec=x\n");
    EXPECT_TRUE(application.name().isEmpty());
    EXPECT_TRUE(application.URL().isEmpty());
}

TEST(PMWebBookmarkFileReading, BadFilesGiveEmptyBookmarks) {
    TestEnvironment env;
    QByteArray truncated = plist(PlistDictionary(), PlistValue::Format::Binary);
    truncated.chop(5);
    const struct {
        const char* name;
        QByteArray contents;
    } cases[] = {
        {"binary.webloc", QByteArray("\x00\x01\x02\xff\xfe", 5)},
        {"truncated.webloc", truncated},
        {"array.webloc", PlistValue(PlistArray{PlistValue(1)}).serialize(PlistValue::Format::Xml)},
        {"latin1.url", "[InternetShortcut]\nURL=http://caf\xe9.example.org/\n"},
        {"binary.desktop", QByteArray("\xff\x00", 2)}};
    for (const auto& c : cases) {
        const auto bookmark = readFile(env, QLatin1String(c.name), c.contents);
        EXPECT_TRUE(bookmark.storedName().isEmpty()) << c.name;
        EXPECT_TRUE(bookmark.URL().isEmpty()) << c.name;
    }
    const auto missing = PMWebBookmarkFile::bookmarkWithFileAtURL(
        QUrl::fromLocalFile(env.path(QStringLiteral("no.webloc"))));
    EXPECT_TRUE(missing.URL().isEmpty());
}

TEST(PMWebBookmarkFileWriting, BinaryPropertyListThatPythonReads) {
    SKIP_WITHOUT_PYTHON();
    const auto bookmark = PMWebBookmarkFile::bookmarkWithName(QStringLiteral("Café"),
                                                              url("https://example.org/a%20b"));
    const auto data = bookmark.fileData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->startsWith("bplist00"));
    EXPECT_EQ(runPlistScript(
                  *data, "print(sorted(p.keys())); print(p['URL']); print(p['public.url-name'])"),
              "['URL', 'public.url-name']\nhttps://example.org/a%20b\nCafé");
    // No name, no URL: the URL is "" and the name left out.
    EXPECT_EQ(runPlistScript(*PMWebBookmarkFile().fileData(), "print(p)"), "{'URL': ''}");
}

TEST(PMWebBookmarkFileWriting, RoundTripKeepsTheCreationDate) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("Old.webloc"), "old contents");
    FileResourceValues values;
    values.creationDate = QDateTime::fromSecsSinceEpoch(1'000'000'000, QTimeZone::utc());
    if (!setResourceValues(path, values)) GTEST_SKIP() << "no user extended attributes here";

    const auto bookmark =
        PMWebBookmarkFile::bookmarkWithName(QStringLiteral("Example"), url("https://example.org/"));
    Error error;
    ASSERT_TRUE(bookmark.writeToFileAtURL(QUrl::fromLocalFile(path), &error))
        << error.description().toStdString();
    EXPECT_EQ(resourceValues(path).creationDate, values.creationDate);
    const auto back = PMWebBookmarkFile::bookmarkWithFileAtURL(QUrl::fromLocalFile(path));
    EXPECT_EQ(back.name(), "Example");
    EXPECT_EQ(back.URL(), url("https://example.org/"));

    EXPECT_FALSE(bookmark.writeToFileAtURL(url("https://example.org/x.webloc"), &error));
    EXPECT_EQ(error.code(), 262);
    EXPECT_FALSE(bookmark.writeToFileAtURL(
        QUrl::fromLocalFile(env.path(QStringLiteral("none/x.webloc"))), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

TEST(PMWebBookmarkFileWriting, EveryKindOfFileReadsBackWhatWasWritten) {
    TestEnvironment env;
    QStringList extensions = PMWebBookmarkFile::bookmarkFileTypes();
    extensions << QStringLiteral("desktop");
    for (const QString& extension : extensions) {
        const auto bookmark = PMWebBookmarkFile::bookmarkWithName(
            QStringLiteral("Saved as ") + extension, url("https://example.org/a?b=c#d"));
        const QUrl file = QUrl::fromLocalFile(env.path(QStringLiteral("Saved.") + extension));
        Error error;
        ASSERT_TRUE(bookmark.writeToFileAtURL(file, &error)) << error.description().toStdString();
        const auto back = PMWebBookmarkFile::bookmarkWithFileAtURL(file);
        EXPECT_EQ(back.storedName(), bookmark.storedName()) << extension.toStdString();
        EXPECT_EQ(back.URL(), bookmark.URL()) << extension.toStdString();
    }

    // An XML property list in a shortcut's name reads as a property list too.
    PlistDictionary dictionary;
    dictionary.set(QStringLiteral("URL"), QStringLiteral("https://example.org/xml"));
    const auto xml = readFile(env, QStringLiteral("Xml.url"), plist(dictionary));
    EXPECT_EQ(xml.storedName(), "Xml");
    EXPECT_EQ(xml.URL(), url("https://example.org/xml"));
}

TEST(PMWebBookmarkFileReading, NamedPipesAreNotWaitedFor) {
    TestEnvironment env;
    for (const char* name : {"pipe.webloc", "pipe.url", "pipe.desktop"}) {
        const QString path = env.path(QLatin1String(name));
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << name;
        const auto bookmark = PMWebBookmarkFile::bookmarkWithFileAtURL(QUrl::fromLocalFile(path));
        EXPECT_TRUE(bookmark.storedName().isEmpty()) << name;
        EXPECT_TRUE(bookmark.URL().isEmpty()) << name;
    }
}

TEST(PMWebBookmarkFileNaming, ExtensionsByScheme) {
    EXPECT_EQ(PMWebBookmarkFile::fileExtensionForURL(url("HTTPS://EXAMPLE.ORG/")), "webloc");
    EXPECT_EQ(PMWebBookmarkFile::fileExtensionForURL(url("vnc://host")), "inetloc");
    EXPECT_EQ(PMWebBookmarkFile::fileExtensionForURL(url("mailto:a@b.org")), "mailloc");
    EXPECT_EQ(PMWebBookmarkFile::fileExtensionForURL(url("ftps://x")), "ftploc");
    EXPECT_EQ(PMWebBookmarkFile::fileExtensionForURL(url("file:///tmp")), "fileloc");
    EXPECT_EQ(PMWebBookmarkFile::fileExtensionForURL(QUrl()), "inetloc");
    EXPECT_EQ(PMWebBookmarkFile::bookmarkFileTypes().size(), 8);
    EXPECT_EQ(PMWebBookmarkFile::bookmarkFileTypes().last(), "url");
}

TEST(PMWebBookmarkFileNaming, SuggestedFilenames) {
    using B = PMWebBookmarkFile;
    EXPECT_EQ(B::bookmarkWithName(QStringLiteral("News: today"), url("https://example.org/"))
                  .suggestedFilename(),
              "News- today.webloc");
    // A name that is only the address does not count.
    EXPECT_EQ(B::bookmarkWithName(QStringLiteral("HTTP://example.org/report.pdf"),
                                  url("http://example.org/report.pdf"))
                  .suggestedFilename(),
              "report.webloc");
    EXPECT_EQ(B::bookmarkWithName(QString(), url("mailto:someone@example.org")).suggestedFilename(),
              "someone@example.org.mailloc");
    // A one-character last component: the URL without "scheme://".
    EXPECT_EQ(B::bookmarkWithName(QString(), url("https://example.org/a")).suggestedFilename(),
              "example.org-a.webloc");
    EXPECT_EQ(B::bookmarkWithName(QString(), url("https://example.org")).suggestedFilename(),
              "example.org.webloc");
}

TEST(PMWebBookmarkFileValidation, NameAndURL) {
    Error error;
    const QString empty;
    EXPECT_FALSE(PMWebBookmarkFile::validateName(&empty, &error));
    EXPECT_EQ(error.domain(), "PMWebBookmarkErrorDomain");
    EXPECT_EQ(error.code(), 10001);
    EXPECT_EQ(error.localizedDescription(), "Bookmark name must not be empty.");
    EXPECT_FALSE(PMWebBookmarkFile::validateName(nullptr));
    const QString name = QStringLiteral("x");
    EXPECT_TRUE(PMWebBookmarkFile::validateName(&name));

    QUrl none;
    EXPECT_FALSE(PMWebBookmarkFile::validateURL(&none, &error));
    EXPECT_EQ(error.localizedDescription(), "Bookmark URL must not be empty.");
    QUrl web = url("https://example.org");
    EXPECT_TRUE(PMWebBookmarkFile::validateURL(&web));
    EXPECT_EQ(web, url("https://example.org/"));
    QUrl withQuery = url("http://example.org?q=1");
    EXPECT_TRUE(PMWebBookmarkFile::validateURL(&withQuery));
    EXPECT_EQ(withQuery, url("http://example.org/?q=1"));
    QUrl other = url("vnc://host");
    EXPECT_TRUE(PMWebBookmarkFile::validateURL(&other));
    EXPECT_EQ(other, url("vnc://host"));
}

TEST(PMWebBookmarkFileProperties, UndoNameAndURLAndCopies) {
    QUndoStack stack;
    PMWebBookmarkFile bookmark;
    bookmark.setUndoManager(&stack);
    bookmark.setName(QStringLiteral("First"));
    bookmark.setURL(url("https://one.example.org/"));
    bookmark.setName(QStringLiteral("First"));  // unchanged: nothing to undo
    EXPECT_EQ(stack.count(), 2);
    bookmark.setName(QStringLiteral("Second\tname"));
    EXPECT_EQ(bookmark.name(), "Second name");
    stack.undo();
    EXPECT_EQ(bookmark.name(), "First");
    stack.undo();
    EXPECT_TRUE(bookmark.URL().isEmpty());
    EXPECT_EQ(bookmark.name(), "First");
    stack.redo();
    EXPECT_EQ(bookmark.URL(), url("https://one.example.org/"));

    const PMWebBookmarkFile copy = bookmark;
    EXPECT_EQ(copy.name(), "First");
    EXPECT_EQ(copy.URL(), bookmark.URL());
    EXPECT_EQ(copy.undoManager(), nullptr);
    // The host stands in for a missing name; preview only for the web.
    const auto hostOnly =
        PMWebBookmarkFile::bookmarkWithName(QString(), url("https://host.example.org/x"));
    EXPECT_EQ(hostOnly.name(), "host.example.org");
    EXPECT_TRUE(hostOnly.canPreviewBookmark());
    EXPECT_FALSE(
        PMWebBookmarkFile::bookmarkWithName(QString(), url("ftp://x/")).canPreviewBookmark());
}

TEST(PMWebBookmarkFileProperties, IconIsNinetySixPixels) {
    const QImage icon =
        PMWebBookmarkFile::bookmarkWithName(QString(), url("https://example.org/")).iconImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_LE(icon.width(), 96);
    EXPECT_LE(icon.height(), 96);
    EXPECT_TRUE(icon.width() == 96 || icon.height() == 96);
}

TEST(PMWebBookmarkFilePasteboard, WritesEveryTypeAndReadsItBack) {
    const QList<PMWebBookmarkFile> bookmarks = {
        PMWebBookmarkFile::bookmarkWithName(QStringLiteral("One"), url("https://one.example.org/")),
        PMWebBookmarkFile::bookmarkWithName(QStringLiteral("Two"), QUrl())};
    QMimeData data;
    ASSERT_TRUE(PMWebBookmarkFile::writeBookmarkFiles(bookmarks, &data));
    for (const QString& type : PMWebBookmarkFile::bookmarksPasteboardTypes())
        EXPECT_TRUE(data.hasFormat(type)) << type.toStdString();
    EXPECT_EQ(data.text(), "https://one.example.org/");
    EXPECT_EQ(data.urls(), QList<QUrl>{url("https://one.example.org/")});

    EXPECT_TRUE(PMWebBookmarkFile::canInitWithPasteboard(&data));
    const auto back = PMWebBookmarkFile::bookmarksWithPasteboard(&data);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].name(), "One");
    EXPECT_EQ(back[1].name(), "Two");
    EXPECT_EQ(back[1].URL(), QUrl(PMWebBookmarkFile::placeholderURLString));

    const auto dictionaries = PlistValue::fromData(
        data.data(QStringLiteral("application/x-pelmora-bookmark-dictionaries")));
    ASSERT_TRUE(dictionaries);
    EXPECT_EQ(
        dictionaries->toArray().at(0).toDictionary().value(QStringLiteral("address")).toString(),
        "https://one.example.org/");
    EXPECT_FALSE(PMWebBookmarkFile::writeBookmarkFiles({}, &data));
}

TEST(PMWebBookmarkFilePasteboard, ReadsWhatBrowsersAndFileManagersWrite) {
    QMimeData browser;
    browser.setData(QStringLiteral("text/x-moz-url"),
                    QStringEncoder(QStringConverter::Utf16LE)
                        .encode(QStringLiteral("https://example.org/a b\nA page")));
    const auto fromBrowser = PMWebBookmarkFile::bookmarksWithPasteboard(&browser);
    ASSERT_EQ(fromBrowser.size(), 1);
    EXPECT_EQ(fromBrowser[0].URL(), url("https://example.org/a%20b"));
    EXPECT_EQ(fromBrowser[0].name(), "A page");

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/me/report.pdf"))});
    files.setData(QStringLiteral("application/x-pelmora-url-name"), "Report");
    const auto fromFiles = PMWebBookmarkFile::bookmarksWithPasteboard(&files);
    ASSERT_EQ(fromFiles.size(), 1);
    EXPECT_EQ(fromFiles[0].URL(), QUrl::fromLocalFile(QStringLiteral("/home/me/report.pdf")));
    EXPECT_EQ(fromFiles[0].name(), "Report");
}

TEST(PMWebBookmarkFilePasteboard, PlainTextAndMailAddresses) {
    QMimeData address;
    address.setText(QStringLiteral("someone@example.org"));
    EXPECT_TRUE(PMWebBookmarkFile::canInitWithPasteboard(&address));
    const auto mail = PMWebBookmarkFile::bookmarksWithPasteboard(&address);
    ASSERT_EQ(mail.size(), 1);
    EXPECT_EQ(mail[0].URL(), url("mailto:someone@example.org"));
    EXPECT_EQ(mail[0].name(), "someone@example.org");

    const struct {
        const char* text;
        bool accepted;
    } texts[] = {{"https://example.org/", true},
                 {"a b@example.org", false},
                 {"just words", false},
                 {"example.org", false},
                 {"http://exa mple.org", false}};
    for (const auto& t : texts) {
        QMimeData text;
        text.setText(QString::fromUtf8(t.text));
        EXPECT_EQ(PMWebBookmarkFile::canInitWithPasteboard(&text), t.accepted) << t.text;
    }
}

TEST(PMWebBookmarkFilePasteboard, RefusesMailMessagesAndItemLinks) {
    QMimeData message;
    message.setUrls({url("imap-message://me@mail.example.org/INBOX#42")});
    EXPECT_FALSE(PMWebBookmarkFile::canInitWithPasteboard(&message));
    QMimeData thunderbird;
    thunderbird.setData(QStringLiteral("text/x-moz-message"), "mailbox-message://x");
    thunderbird.setText(QStringLiteral("https://example.org/"));
    EXPECT_FALSE(PMWebBookmarkFile::canInitWithPasteboard(&thunderbird));
    QMimeData itemLink;
    itemLink.setData(QStringLiteral("application/x-pelmora-itemlink"), "x");
    itemLink.setUrls({url("https://example.org/")});
    EXPECT_FALSE(PMWebBookmarkFile::canInitWithPasteboard(&itemLink));

    QMimeData emptyAddress;
    PlistDictionary dictionary;
    dictionary.set(QStringLiteral("label"), QStringLiteral("x"));
    dictionary.set(QStringLiteral("address"), QString());
    emptyAddress.setData(
        QStringLiteral("application/x-pelmora-bookmark-dictionaries"),
        PlistValue(PlistArray{PlistValue(dictionary)}).serialize(PlistValue::Format::Binary));
    EXPECT_FALSE(PMWebBookmarkFile::canInitWithPasteboard(&emptyAddress));
    EXPECT_TRUE(PMWebBookmarkFile::bookmarksWithPasteboard(&emptyAddress).isEmpty());
    EXPECT_FALSE(PMWebBookmarkFile::canInitWithPasteboard(nullptr));
}

TEST(PMWebBookmarkFilePasteboard, ClipboardRoundTrip) {
    QClipboard* clipboard = QApplication::clipboard();
    ASSERT_TRUE(PMWebBookmarkFile::writeBookmarkFiles(
        {PMWebBookmarkFile::bookmarkWithName(QStringLiteral("Clip"),
                                             url("https://clip.example.org/"))},
        clipboard));
    const auto back = PMWebBookmarkFile::bookmarksWithPasteboard(clipboard->mimeData());
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].name(), "Clip");
}
