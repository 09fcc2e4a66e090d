#include <gtest/gtest.h>
#include <libxml/xmlerror.h>

#include <QTemporaryDir>

#include "enex/EvernoteNoteLinkIndex.h"
#include "import/ENEXNoteCounter.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Three notes whose content, comments and instructions hold "</note>" and
// other markup as text, an attribute value holding '>', an empty <note/>, an
// end tag with a space, and a "notebook" element that is not a note.
const QByteArray kTrickyENEX =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE en-export SYSTEM \"http://xml.evernote.com/pub/evernote-export3.dtd\">\n"
    "<en-export export-date=\"20130730T205637Z\" application=\"a>b\">\n"
    "<!-- an old </note> in a comment -->\n"
    "<?note-processing </note> ?>\n"
    "<note><title>One</title><content><![CDATA[<en-note></note><note>]] "
    "]></en-note>]]></content></note>\n"
    "<note ><title a='x > </note> y'>Two</title><notebook>x</notebook></note >\n"
    "<note/>\n"
    "</en-export>\n";

std::optional<unsigned long> countFile(const QByteArray& bytes, Error* error = nullptr,
                                       qsizetype chunk = ENEXNoteCounter::kDefaultChunkSize) {
    TestEnvironment env;
    return ENEXNoteCounter::countNotesInFileAtPath(env.writeFile(QStringLiteral("f.enex"), bytes),
                                                   error, chunk);
}

}  // namespace

// Every way of cutting the file into chunks, down to single bytes, so that
// each piece of markup is split somewhere, counts the same three notes.
TEST(ENEXNoteCounterTest, CountsOnlyRealNoteEndsHoweverTheChunksFall) {
    for (qsizetype chunk = 1; chunk <= kTrickyENEX.size(); ++chunk) {
        Error error;
        EXPECT_EQ(countFile(kTrickyENEX, &error, chunk), 3u)
            << chunk << ": " << error.description().toStdString();
    }
    EXPECT_EQ(countFile(kTrickyENEX), 3u);

    QList<TestNote> notes;
    for (int i = 0; i < 40; ++i)
        notes << TestNote{QStringLiteral("N%1").arg(i),
                          QStringLiteral("<div>&lt;/note&gt; %1</div>").arg(i)};
    EXPECT_EQ(countFile(buildENEX(notes)), 40u);
    EXPECT_EQ(countFile(buildENEX({})), 0u);
}

// A file whose elements do not nest is refused with the parser's domain, a
// libxml2 code and the place of the fault; so is a file that is not there.
TEST(ENEXNoteCounterTest, RefusesFilesWhoseElementsDoNotNest) {
    struct Case {
        QByteArray bytes;
        long code;
        QString place;
    };
    const QByteArray head = "<?xml version=\"1.0\"?>\n<en-export>\n";
    for (const Case& c :
         {Case{head + "<note><title>A</title></note>\n<note>", XML_ERR_TAG_NOT_FINISHED, QString()},
          Case{head + "<note><title>A</note>", XML_ERR_TAG_NAME_MISMATCH,
               QStringLiteral("Line 3, column 15")},
          Case{head + "</en-export>\n<en-export/>", XML_ERR_DOCUMENT_END,
               QStringLiteral("Line 4, column 1")},
          Case{head + "<note><content><![CDATA[never closed", XML_ERR_TAG_NOT_FINISHED, QString()},
          Case{"", XML_ERR_DOCUMENT_EMPTY, QString()}}) {
        Error error;
        EXPECT_FALSE(countFile(c.bytes, &error).has_value()) << c.bytes.constData();
        EXPECT_EQ(error.domain(), QStringLiteral("XMLParserErrorDomain"));
        EXPECT_EQ(error.code(), c.code) << c.bytes.constData();
        if (!c.place.isEmpty()) {
            EXPECT_TRUE(error.localizedDescription().startsWith(c.place))
                << error.localizedDescription().toStdString();
        }
    }
    Error error;
    EXPECT_FALSE(
        ENEXNoteCounter::countNotesInFileAtPath(QStringLiteral("/nonexistent/x.enex"), &error)
            .has_value());
    EXPECT_EQ(error.domain(), QStringLiteral("XMLParserErrorDomain"));
}

// Passage tags count in the notes' CDATA only, wherever the chunks cut them.
TEST(ENEXNoteCounterTest, CountsEncryptedPassagesHoweverTheChunksFall) {
    const QByteArray enex =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<en-export>\n"
        "<!-- <en-crypt> in a comment -->\n"
        "<note><title>&lt;en-crypt</title><content><![CDATA[<en-note><en-crypt cipher=\"AES\">"
        "x</en-crypt><div><en-crypt>y</en-crypt></div></en-note>]]></content></note>\n"
        "<note><content><![CDATA[<en-note><en-crypt/></en-note>]]></content></note>\n"
        "</en-export>\n";
    for (qsizetype chunk = 1; chunk <= enex.size(); ++chunk) {
        TestEnvironment env;
        Error error;
        const auto counts = ENEXNoteCounter::countInFileAtPath(
            env.writeFile(QStringLiteral("f.enex"), enex), &error, chunk);
        ASSERT_TRUE(counts) << chunk << ": " << error.description().toStdString();
        EXPECT_EQ(counts->notes, 2u) << chunk;
        EXPECT_EQ(counts->encryptedPassages, 3u) << chunk;
    }
}

// The scan gathers the titles and the note links' evidence the same way
// however the chunks fall, decoding entities as the parser does.
TEST(ENEXNoteCounterTest, GathersTitlesAndLinkEvidenceHoweverTheChunksFall) {
    const QString guid = QStringLiteral("914ba57d-d5e6-4ef5-ba5b-b9134529c188");
    const QString card = QStringLiteral("aaaaaaaa-d5e6-4ef5-ba5b-b9134529c188");
    const QByteArray enex = buildENEX(
        {{QStringLiteral("Fish & Chips"), QStringLiteral("<div>plain</div>")},
         {QStringLiteral("Source"),
          QStringLiteral("<div>see <a href=\"evernote:///view/1/s1/%1/%1/\">the <b>other</b> "
                         "one</a> and <div style=\"--en-richlink:true; --en-href:"
                         "https://www.evernote.com/shard/s1/nl/1/%2/; --en-title:Fish &amp; "
                         "Chips\"><a href=\"x\">x</a></div></div>")
              .arg(guid, card)},
         {QStringLiteral("The other one"), QStringLiteral("<div/>")}});
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("f.enex"), enex);
    for (const qsizetype chunk : {qsizetype(1), qsizetype(7), qsizetype(64), enex.size()}) {
        EvernoteNoteLinkIndex index;
        ASSERT_TRUE(ENEXNoteCounter::countInFileAtPath(path, nullptr, chunk, &index)) << chunk;
        index.seal();
        EXPECT_EQ(index.titleCount(), 3) << chunk;
        const auto other = index.targetForText(QStringLiteral("The other one"));
        ASSERT_TRUE(other.found()) << chunk;
        EXPECT_EQ(index.targetForGUID(guid).identifier, other.identifier) << chunk;
        const auto fish = index.targetForText(QStringLiteral("Fish & Chips"));
        ASSERT_TRUE(fish.found()) << chunk;
        EXPECT_EQ(index.targetForGUID(card).identifier, fish.identifier) << chunk;
    }
}
