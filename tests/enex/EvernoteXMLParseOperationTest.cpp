#include <gtest/gtest.h>

#include <QDir>

#include "enex/EvernoteXMLParseOperation.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/FileResourceValues.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

struct ParseResult {
    QList<std::optional<PlistDictionary>> items;
    QList<Error> itemErrors;
    int completions = 0;
    Error completionError;
};

// `during` runs after each item; with `cancelledFirst`, the parse is
// cancelled before its queue starts it.
ParseResult parse(const TestEnvironment& env, const QByteArray& enex,
                  const std::function<void(EvernoteXMLParseOperation&)>& during = {},
                  bool cancelledFirst = false) {
    const QString file = env.writeFile(QStringLiteral("in.enex"), enex);
    const QString folder = env.path(QStringLiteral("Notebook"));
    QDir().mkpath(folder);
    PlistDictionary group;
    group.set(QStringLiteral("groupType"), 70);
    auto op = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder), group);
    ParseResult result;
    op->setParseOperationDidExportItemBlock(
        [&](const std::optional<PlistDictionary>& item, const Error& error) {
            result.items << item;
            result.itemErrors << error;
            if (during) during(*op);
        });
    op->setParseOperationCompletionBlock([&](const Error& error) {
        ++result.completions;
        result.completionError = error;
    });
    if (cancelledFirst) op->cancel();
    OperationQueue queue;
    queue.addOperation(op);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(op->isFinished());
    return result;
}

TestAttachment file(const QString& name) {
    return {QByteArray("bytes of ") + name.toUtf8(), QStringLiteral("application/pdf"), name};
}

}  // namespace

TEST(EvernoteXMLParseOperationTest, NotesAreConvertedInDocumentOrder) {
    TestEnvironment env;
    const QByteArray enex = buildENEX({
        {QStringLiteral("One"),
         QStringLiteral("%MEDIA0%"),
         {},
         QStringLiteral("20130730T205204Z"),
         {},
         {},
         {},
         {file(QStringLiteral("a.pdf"))}},
        {QStringLiteral("Text"), QStringLiteral("<div>not a single attachment</div>")},
        {QStringLiteral("Two"),
         QStringLiteral("%MEDIA0%"),
         {},
         {},
         {},
         {},
         {},
         {file(QStringLiteral("b.pdf"))}},
    });
    const ParseResult r = parse(env, enex);
    ASSERT_EQ(r.items.size(), 3);
    EXPECT_EQ(r.items[0]->value(QStringLiteral("filename")).toString(), QStringLiteral("One.pdf"));
    EXPECT_EQ(r.items[1]->value(QStringLiteral("filename")).toString(),
              QStringLiteral("Text.pmnote"));
    EXPECT_EQ(r.items[2]->value(QStringLiteral("filename")).toString(), QStringLiteral("Two.pdf"));
    EXPECT_EQ(r.completions, 1);
    EXPECT_TRUE(r.completionError.isNull());
}

TEST(EvernoteXMLParseOperationTest, FileWithoutNotesCompletesOnceWithoutItems) {
    TestEnvironment env;
    const ParseResult r = parse(env, buildENEX({}));
    EXPECT_TRUE(r.items.isEmpty());
    EXPECT_EQ(r.completions, 1);
    EXPECT_TRUE(r.completionError.isNull());
}

TEST(EvernoteXMLParseOperationTest, DataWithoutBase64EncodingStopsWith1003) {
    TestEnvironment env;
    TestAttachment a = file(QStringLiteral("a.pdf"));
    a.withEncoding = false;
    const QByteArray enex =
        buildENEX({{QStringLiteral("First"),
                    QStringLiteral("%MEDIA0%"),
                    {},
                    {},
                    {},
                    {},
                    {},
                    {file(QStringLiteral("x.pdf"))}},
                   {QStringLiteral("Bad"), QStringLiteral("%MEDIA0%"), {}, {}, {}, {}, {}, {a}},
                   {QStringLiteral("Never"),
                    QStringLiteral("%MEDIA0%"),
                    {},
                    {},
                    {},
                    {},
                    {},
                    {file(QStringLiteral("y.pdf"))}}});
    const ParseResult r = parse(env, enex);
    EXPECT_EQ(r.items.size(), 1);  // notes already handed on stay handed on
    EXPECT_EQ(r.completions, 1);
    EXPECT_EQ(r.completionError.domain(), QStringLiteral("EvernoteXMLParseOperationErrorDomain"));
    EXPECT_EQ(r.completionError.code(), 1003);
    EXPECT_EQ(r.completionError.localizedDescription(), QStringLiteral("Cannot parse \"\" data."));
}

TEST(EvernoteXMLParseOperationTest, FieldsAreReadFromTheirElements) {
    TestEnvironment env;
    // A tag delivered in pieces around an entity becomes several tags, as the
    // parser reports each piece; dates keep their calendar year at the end of December.
    const QByteArray enex =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\xef\xbb\xbf"
        "<en-export><note><title>R&amp;D</title><content><![CDATA[<en-note>"
        "<en-media hash=\"" +
        TestAttachment{QByteArray("pdf"), QString(), QString()}.hash().toLatin1() +
        "\" type=\"application/pdf\"/></en-note>]]></content>"
        "<created>20141231T235959Z</created><tag>one</tag><tag> two </tag>"
        "<note-attributes><source>mail.smtp</source><source-url>https://e.com/?a=1&amp;b=2</"
        "source-url></note-attributes>"
        "<resource><data encoding=\"base64\">cGRm</data><mime>application/pdf</mime>"
        "<resource-attributes><file-name>f.pdf</file-name></resource-attributes></resource></"
        "note></en-export>";
    const QByteArray withoutBOM = QByteArray(enex).replace("\xef\xbb\xbf", "");
    const ParseResult r = parse(env, withoutBOM);
    ASSERT_EQ(r.items.size(), 1);
    ASSERT_TRUE(r.items[0].has_value()) << r.itemErrors[0].description().toStdString();
    const PlistDictionary d = *r.items[0];
    EXPECT_EQ(d.value(QStringLiteral("name")).toString(), QStringLiteral("R&D"));
    EXPECT_EQ(d.value(QStringLiteral("filename")).toString(), QStringLiteral("R&D.pdf"));
    EXPECT_EQ(d.value(QStringLiteral("dateCreated")).toDate().date(), QDate(2014, 12, 31));
    EXPECT_EQ(d.value(QStringLiteral("tagsString")).toString(), QStringLiteral("one,two"));
    EXPECT_EQ(d.value(QStringLiteral("comments")).toString(),
              QStringLiteral("https://e.com/?a=1&b=2"));
}

TEST(EvernoteXMLParseOperationTest, MalformedXMLEndsWithTheParsersError) {
    TestEnvironment env;
    QByteArray enex = buildENEX({{QStringLiteral("A"),
                                  QStringLiteral("%MEDIA0%"),
                                  {},
                                  {},
                                  {},
                                  {},
                                  {},
                                  {file(QStringLiteral("a.pdf"))}}});
    enex.replace("</en-export>", "<note><title>broken</note></en-export>");
    const ParseResult r = parse(env, enex);
    EXPECT_EQ(r.items.size(), 1);
    EXPECT_EQ(r.completions, 1);
    EXPECT_EQ(r.completionError.domain(), QStringLiteral("XMLParserErrorDomain"));
}

TEST(EvernoteXMLParseOperationTest, CancellationAbortsTheParse) {
    TestEnvironment env;
    QList<TestNote> notes;
    for (int i = 0; i < 50; ++i)
        notes << TestNote{
            QStringLiteral("N%1").arg(i),   QStringLiteral("%MEDIA0%"), {}, {}, {}, {}, {},
            {file(QStringLiteral("a.pdf"))}};
    const ParseResult r =
        parse(env, buildENEX(notes), [](EvernoteXMLParseOperation& op) { op.cancel(); });
    EXPECT_LT(r.items.size(), 50);
    EXPECT_EQ(r.completions, 1);
    EXPECT_FALSE(r.completionError.isNull());
}

// The importer ends a notebook only from the completion block, so a parse
// cancelled while it waited in its queue must still call it.
TEST(EvernoteXMLParseOperationTest, ParseCancelledBeforeItStartsStillCompletesOnce) {
    TestEnvironment env;
    const ParseResult r = parse(
        env, buildENEX({{QStringLiteral("Text"), QStringLiteral("<div>words</div>")}}), {}, true);
    EXPECT_TRUE(r.items.isEmpty());
    EXPECT_EQ(r.completions, 1);
    EXPECT_TRUE(r.completionError.isNull());
    EXPECT_TRUE(QDir(env.path(QStringLiteral("Notebook"))).isEmpty());
}

TEST(EvernoteXMLParseOperationTest, MissingFileEndsWithAnError) {
    TestEnvironment env;
    PlistDictionary group;
    auto op = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        QUrl::fromLocalFile(env.path(QStringLiteral("absent.enex"))),
        QUrl::fromLocalFile(env.root()), group);
    int completions = 0;
    Error error;
    op->setParseOperationCompletionBlock([&](const Error& e) {
        ++completions;
        error = e;
    });
    op->start();
    op->waitUntilFinished();
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(error.isNull());
}

namespace {

// One note as newer exports write it: indented, with a task whose own title
// and dates must not be taken for the note's.
const char* const kIndentedNote = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE en-export SYSTEM "http://xml.evernote.com/pub/evernote-export4.dtd">
<en-export export-date="20220520T222128Z" application="Evernote" version="10.38.5">
  <note>
    <title>Trip plan</title>
    <created>20220520T220816Z</created>
    <updated>20220520T221729Z</updated>
    <tag>travel</tag>
    <tag>
      summer
    </tag>
    <note-attributes>
      <source>
        web.clip7
      </source>
    </note-attributes>
    <content>
      <![CDATA[<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<en-note><div>pack <b>bags</b> <i>today</i></div></en-note>      ]]>
    </content>
    <task>
      <title>Book hotel</title>
      <created>20990101T000000Z</created>
      <taskStatus>completed</taskStatus>
      <sortWeight>A</sortWeight>
      <taskGroupNoteLevelID>nowhere</taskGroupNoteLevelID>
    </task>
  </note>
</en-export>
)";

// The same document with the white space between elements removed.
QByteArray onOneLine(const QByteArray& indented) {
    QByteArray out;
    bool inCDATA = false;
    for (qsizetype i = 0; i < indented.size(); ++i) {
        if (indented.mid(i, 9) == "<![CDATA[") inCDATA = true;
        if (indented.mid(i, 3) == "]]>") inCDATA = false;
        const char c = indented.at(i);
        if (!inCDATA && (c == '\n' || c == ' ') && (out.endsWith('>') || out.endsWith('\n'))) {
            qsizetype j = i;
            while (j < indented.size() && (indented.at(j) == ' ' || indented.at(j) == '\n')) ++j;
            if (j < indented.size() && indented.at(j) == '<') {
                i = j - 1;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace

TEST(EvernoteXMLParseOperationTest, IndentedAndOneLineExportsGiveTheSameItem) {
    TestEnvironment env;
    const QByteArray indented(kIndentedNote);
    QList<PlistDictionary> items;
    for (const QByteArray& enex : {indented, onOneLine(indented)}) {
        const ParseResult r = parse(env, enex);
        ASSERT_EQ(r.items.size(), 1);
        ASSERT_TRUE(r.items[0].has_value()) << r.itemErrors[0].description().toStdString();
        items << *r.items[0];
        QDir(env.path(QStringLiteral("Notebook"))).removeRecursively();
    }
    for (const PlistDictionary& d : items) {
        EXPECT_EQ(d.value(QStringLiteral("name")).toString(), QStringLiteral("Trip plan"));
        EXPECT_EQ(d.value(QStringLiteral("dateCreated")).toDate(),
                  QDateTime(QDate(2022, 5, 20), QTime(22, 8, 16), Qt::UTC));
        EXPECT_EQ(d.value(QStringLiteral("dateModified")).toDate(),
                  QDateTime(QDate(2022, 5, 20), QTime(22, 17, 29), Qt::UTC));
        EXPECT_EQ(d.value(QStringLiteral("tagsString")).toString(),
                  QStringLiteral("travel,summer"));
        EXPECT_EQ(d.value(QStringLiteral("itemType")).toInteger(),
                  1);  // a clip without a source URL is a note
    }
    EXPECT_EQ(items[0].value(QStringLiteral("filename")),
              items[1].value(QStringLiteral("filename")));
}

TEST(EvernoteXMLParseOperationTest, EscapedContentKeepsTheSpacesBetweenElements) {
    TestEnvironment env;
    const QByteArray enex =
        "<en-export><note><title>Escaped</title><content>\n  "
        "&lt;en-note&gt;&lt;div&gt;&lt;b&gt;alpha&lt;/b&gt; "
        "&lt;i&gt;beta&lt;/i&gt;&lt;/div&gt;&lt;/en-note&gt;\n  </content></note></en-export>";
    const ParseResult r = parse(env, enex);
    ASSERT_EQ(r.items.size(), 1);
    ASSERT_TRUE(r.items[0].has_value()) << r.itemErrors[0].description().toStdString();
    const auto note = PMNoteFile::noteFileWithFileURL(
        QUrl::fromLocalFile(r.items[0]->value(QStringLiteral("absoluteFilename")).toString()));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->noteText()->string().trimmed(), QStringLiteral("alpha beta"));
}

TEST(EvernoteXMLParseOperationTest, AWebClipBecomesAWebArchive) {
    // Any web clip went through freed memory while its frames were archived.
    TestEnvironment env;
    const QString file =
        env.writeFile(QStringLiteral("clip.enex"), fuzzSeed("enex/any_web_clip.enex"));
    const QString folder = env.path(QStringLiteral("Notebook"));
    QDir().mkpath(folder);
    PlistDictionary group;
    group.set(QStringLiteral("groupType"), 70);
    auto op = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder), group);
    QList<std::optional<PlistDictionary>> items;
    op->setParseOperationDidExportItemBlock(
        [&](const std::optional<PlistDictionary>& item, const Error&) { items << item; });
    OperationQueue queue;  // the page loads on the main thread, which must stay free
    queue.addOperation(op);
    ASSERT_TRUE(runEventLoopUntil([&] { return queue.operationCount() == 0; }, 60000));
    ASSERT_EQ(items.size(), 1);
    ASSERT_TRUE(items[0]);
    EXPECT_EQ(items[0]->value(QStringLiteral("filename")).toString(),
              QStringLiteral("clip.webarchive"));
}

namespace {

QByteArray fileAttribute(const QString& path, const char* name) {
    return extendedAttribute(path, name).value_or("<absent>");
}

}  // namespace

// Every field of a note's attributes and of its attachments' attributes comes
// with the item, in its dictionary and on its file: indented or not, dates in
// ISO 8601, application data by its key, each attachment's fields by its place.
TEST(EvernoteXMLParseOperationTest, EveryAttributeOfTheNoteAndItsAttachmentsIsKept) {
    TestEnvironment env;
    const QByteArray enex =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><en-export><note><title>Trip</title>"
        "<content><![CDATA[<en-note><div>text</div></en-note>]]></content>"
        "<note-attributes>\n  <subject-date>20241221T125100Z</subject-date>\n"
        "  <latitude> 52.518654 </latitude><author>ann@example.com</author>"
        "<source-url>https://e.com/a</source-url>"
        "<reminder-time>2025-01-01T00:00:00+00:00</reminder-time><reminder-order>0</reminder-order>"
        "<application-data key=\"color\">blue</application-data>\n</note-attributes>"
        "<resource><data encoding=\"base64\">cGRm</data><mime>application/pdf</mime>"
        "<resource-attributes><source-url>en-cache://x</source-url>"
        "<timestamp>19700101T000000Z</timestamp><file-name>f.pdf</file-name>"
        "</resource-attributes></resource>"
        "<resource><data encoding=\"base64\">cG5n</data><mime>application/pdf</mime>"
        "<resource-attributes><camera-make>Acme</camera-make></resource-attributes></resource>"
        "</note></en-export>";
    const ParseResult r = parse(env, enex);
    ASSERT_EQ(r.items.size(), 1);
    ASSERT_TRUE(r.items[0].has_value()) << r.itemErrors[0].description().toStdString();
    const PlistDictionary attributes =
        r.items[0]->value(QStringLiteral("evernoteAttributes")).toDictionary();
    QStringList entries;
    for (const auto& [name, value] : attributes.entries())
        entries << name + u'=' + value.toString();
    const QStringList expected{
        QStringLiteral("subject-date=2024-12-21T12:51:00Z"),
        QStringLiteral("latitude=52.518654"),
        QStringLiteral("author=ann@example.com"),
        QStringLiteral("source-url=https://e.com/a"),
        QStringLiteral("reminder-time=2025-01-01T00:00:00+00:00"),
        QStringLiteral("reminder-order=0"),
        QStringLiteral("application-data.color=blue"),
        QStringLiteral("resource.1.source-url=en-cache://x"),
        QStringLiteral("resource.1.timestamp=1970-01-01T00:00:00Z"),
        QStringLiteral("resource.1.file-name=f.pdf"),
        QStringLiteral("resource.2.camera-make=Acme"),
    };
    EXPECT_EQ(entries.join(u'\n').toStdString(), expected.join(u'\n').toStdString());

    const QString file = r.items[0]->value(QStringLiteral("absoluteFilename")).toString();
    if (!extendedAttribute(file, "user.pelmora.extension-hidden"))
        GTEST_SKIP() << "no extended attributes here";
    EXPECT_EQ(fileAttribute(file, "user.xdg.creator"), "ann@example.com");
    EXPECT_EQ(fileAttribute(file, "user.xdg.origin.url"), "https://e.com/a");
    EXPECT_EQ(fileAttribute(file, "user.ferrymark.subject-date"), "2024-12-21T12:51:00Z");
    EXPECT_EQ(fileAttribute(file, "user.ferrymark.application-data.color"), "blue");
    EXPECT_EQ(fileAttribute(file, "user.ferrymark.resource.1.source-url"), "en-cache://x");
    EXPECT_EQ(fileAttribute(file, "user.ferrymark.resource.2.camera-make"), "Acme");
}

// Every item's file hides its extension, whoever wrote it: the note package
// (its writer hides it), a lone attachment and a note's tags and dates.
TEST(EvernoteXMLParseOperationTest, EveryKindOfItemHidesItsExtension) {
    TestEnvironment env;
    const QByteArray enex =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><en-export>"
        "<note><title>Text</title><content><![CDATA[<en-note><div>t</div></en-note>]]></content>"
        "<created>20200102T030405Z</created><updated>20210102T030405Z</updated><tag>a</tag></note>"
        "<note><title>Lone</title><content><![CDATA[<en-note><en-media type=\"application/pdf\" "
        "hash=\"6446a98080f5e51ab7f0abc0e8eda635\"/></en-note>]]></content>"
        "<resource><data encoding=\"base64\">JVBERi0xLjQK</data><mime>application/pdf</mime>"
        "<resource-attributes><file-name>scan.pdf</file-name></resource-attributes></resource>"
        "</note></en-export>";
    const ParseResult r = parse(env, enex);
    ASSERT_EQ(r.items.size(), 2);
    ASSERT_TRUE(r.items[0].has_value() && r.items[1].has_value());
    const QString note = r.items[0]->value(QStringLiteral("absoluteFilename")).toString();
    if (!extendedAttribute(note, "user.pelmora.creation-date"))
        GTEST_SKIP() << "no extended attributes here";
    EXPECT_TRUE(note.endsWith(QStringLiteral(".pmnote"))) << note.toStdString();
    EXPECT_EQ(fileAttribute(note, "user.xdg.tags"), "a");
    EXPECT_EQ(fileAttribute(note, "user.pelmora.creation-date"), "2020-01-02T03:04:05Z");
    const QString lone = r.items[1]->value(QStringLiteral("absoluteFilename")).toString();
    EXPECT_TRUE(lone.endsWith(QStringLiteral(".pdf"))) << lone.toStdString();
    for (const QString& file : {note, lone})
        EXPECT_EQ(fileAttribute(file, "user.pelmora.extension-hidden"), "1") << file.toStdString();
}
