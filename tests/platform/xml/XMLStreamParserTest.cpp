#include <gtest/gtest.h>
#include <libxml/xmlerror.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <QUrl>
#include <thread>

#include "platform/xml/XMLEntityBudget.h"
#include "platform/xml/XMLStreamParser.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Records every event as one line; adjacent text pieces are joined into one
// line and counted.
class RecordingDelegate : public XMLStreamParserDelegate {
  public:
    QStringList events;
    int textPieces = 0;
    QList<QByteArray> cdata;
    int errorCount = 0;
    Error lastError;
    std::function<void(RecordingDelegate&, const QString&)> onStart;

    void didStartElement(const QString& name, const QList<XMLAttribute>& attributes) override {
        QString line = QStringLiteral("start ") + name;
        for (const XMLAttribute& a : attributes)
            line += QStringLiteral(" %1=%2").arg(a.name, a.value);
        events << line;
        if (onStart) onStart(*this, name);
    }
    void foundCharacters(const QString& text) override {
        ++textPieces;
        if (!events.isEmpty() && events.last().startsWith(QStringLiteral("text ")))
            events.last() += text;
        else
            events << QStringLiteral("text ") + text;
    }
    void foundCDATA(const QByteArray& bytes) override {
        cdata << bytes;
        events << QStringLiteral("cdata");
    }
    void didEndElement(const QString& name) override { events << QStringLiteral("end ") + name; }
    void parseErrorOccurred(const Error& error) override {
        ++errorCount;
        lastError = error;
        events << QStringLiteral("error");
    }
    void didEndDocument() override { events << QStringLiteral("end document"); }

    // All text of the document with the pieces joined.
    QString text() const {
        QString all;
        for (const QString& e : events)
            if (e.startsWith(QStringLiteral("text "))) all += e.mid(5);
        return all;
    }
};

bool parseBytes(const QByteArray& xml, RecordingDelegate& delegate, Error* error = nullptr) {
    QBuffer buffer;
    buffer.setData(xml);
    XMLStreamParser parser(&buffer);
    parser.setDelegate(&delegate);
    const bool ok = parser.parse();
    if (error) *error = parser.error();
    return ok;
}

const char* const kBillionLaughs =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n"
    " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
    " <!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">\n"
    " <!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n"
    " <!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">\n"
    " <!ENTITY lol5 \"&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;\">\n"
    " <!ENTITY lol6 \"&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;\">\n"
    " <!ENTITY lol7 \"&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;\">\n"
    " <!ENTITY lol8 \"&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;\">\n"
    " <!ENTITY lol9 \"&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;\">\n"
    "]>\n";

}  // namespace

TEST(XMLStreamParserTest, ReportsAnEnexExportInDocumentOrder) {
    const QByteArray enex =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE en-export SYSTEM \"http://xml.evernote.com/pub/evernote-export4.dtd\">\n"
        "<en-export export-date=\"20210816T233721Z\" application=\"Evernote\">"
        "<note><title>Caf\xC3\xA9 &amp; more</title>"
        "<content><![CDATA[<en-note>hi</en-note>]]></content>"
        "<resource><data encoding=\"base64\">QUJD</data></resource>"
        "</note></en-export>";
    RecordingDelegate delegate;
    ASSERT_TRUE(parseBytes(enex, delegate));
    const QStringList expected = {
        QStringLiteral("start en-export export-date=20210816T233721Z application=Evernote"),
        QStringLiteral("start note"),
        QStringLiteral("start title"),
        QStringLiteral("text Café & more"),
        QStringLiteral("end title"),
        QStringLiteral("start content"),
        QStringLiteral("cdata"),
        QStringLiteral("end content"),
        QStringLiteral("start resource"),
        QStringLiteral("start data encoding=base64"),
        QStringLiteral("text QUJD"),
        QStringLiteral("end data"),
        QStringLiteral("end resource"),
        QStringLiteral("end note"),
        QStringLiteral("end en-export"),
        QStringLiteral("end document"),
    };
    EXPECT_EQ(delegate.events, expected);
    EXPECT_EQ(delegate.cdata.value(0), QByteArray("<en-note>hi</en-note>"));
    EXPECT_GE(delegate.textPieces, 3);  // the title comes in pieces around "&amp;"
    EXPECT_EQ(delegate.errorCount, 0);
}

TEST(XMLStreamParserTest, ResolvesReferencesInTextAndAttributes) {
    const QByteArray xml =
        "<!DOCTYPE r SYSTEM \"http://example.invalid/r.dtd\" [<!ENTITY sig \"Bob &amp; Co\">]>"
        "<r a=\"x&amp;y &lt; &#233; &#38; &sig;\" p:q=\"1\" xmlns:p=\"urn:p\">"
        "&sig;|&nbsp;|&eacute;|&undeclared;|&#x263A;</r>";
    RecordingDelegate delegate;
    ASSERT_TRUE(parseBytes(xml, delegate));
    EXPECT_EQ(delegate.events.value(0),
              QStringLiteral("start r xmlns:p=urn:p a=x&y < é & Bob & Co p:q=1"));
    EXPECT_EQ(delegate.text(), QStringLiteral("Bob & Co|\u00A0|é|&undeclared;|\u263A"));
}

TEST(XMLStreamParserTest, DeliversEachCDATASectionWholeAndInOrder) {
    // "]]>" inside a note forces two sections; a long section spans many
    // internal pieces and 64 KiB input chunks but arrives as one.
    QByteArray longText;
    for (int i = 0; longText.size() < 200 * 1024; ++i) longText += QByteArray::number(i) + ' ';
    const QByteArray xml =
        "<content><![CDATA[a ]]]]><![CDATA[> b]]><!-- gap --><![CDATA[]]><![CDATA[" + longText +
        "]]></content>";
    RecordingDelegate delegate;
    ASSERT_TRUE(parseBytes(xml, delegate));
    ASSERT_EQ(delegate.cdata.size(), 4);
    EXPECT_EQ(delegate.cdata[0], QByteArray("a ]]"));
    EXPECT_EQ(delegate.cdata[1], QByteArray("> b"));
    EXPECT_EQ(delegate.cdata[2], QByteArray());
    EXPECT_EQ(delegate.cdata[3], longText);
}

TEST(XMLStreamParserTest, AcceptsUtf8ByteOrderMark) {
    RecordingDelegate delegate;
    ASSERT_TRUE(parseBytes("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>\xC3\xA9</t>",
                           delegate));
    EXPECT_EQ(delegate.text(), QStringLiteral("é"));
}

TEST(XMLStreamParserTest, MalformedDocumentFailsWithLineAndColumn) {
    RecordingDelegate delegate;
    Error error;
    EXPECT_FALSE(
        parseBytes("<en-export>\n<note>\n<title>x</title>\n</en-export>", delegate, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("XMLParserErrorDomain"));
    EXPECT_EQ(error.code(), XML_ERR_TAG_NAME_MISMATCH);
    EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("Line 4, column ")))
        << error.localizedDescription().toStdString();
    EXPECT_TRUE(error.localizedDescription().endsWith(
        QStringLiteral("Opening and ending tag mismatch: note line 2 and en-export")));
    EXPECT_EQ(delegate.errorCount, 1);
    EXPECT_EQ(delegate.events.last(), QStringLiteral("error"));
    EXPECT_FALSE(delegate.events.contains(QStringLiteral("end document")));
}

// An "&" that starts no reference makes libxml2 wait for a ";": in text
// without one the parse fails at the "&" once 64 MB are held, with libxml2's
// own error, instead of holding the rest of the input.
TEST(XMLStreamParserTest, MarkupThatNeverEndsFailsWithoutHoldingTheRestOfTheInput) {
    QByteArray xml = "<a>\n& " + QByteArray(80 * 1024 * 1024, 'x') + "</a>";
    QBuffer buffer(&xml);
    XMLStreamParser parser(&buffer);
    RecordingDelegate delegate;
    parser.setDelegate(&delegate);
    EXPECT_FALSE(parser.parse());
    EXPECT_EQ(parser.error().code(), XML_ERR_NAME_REQUIRED);
    EXPECT_TRUE(parser.error().localizedDescription().startsWith(QStringLiteral("Line 2, column ")))
        << parser.error().localizedDescription().toStdString();
    EXPECT_LT(buffer.pos(), xml.size());
}

TEST(XMLStreamParserTest, EmptyOrUnreadableInputFails) {
    RecordingDelegate delegate;
    Error error;
    EXPECT_FALSE(parseBytes(QByteArray(), delegate, &error));
    EXPECT_EQ(error.code(), XML_ERR_DOCUMENT_EMPTY);

    TestEnvironment environment;
    QFile missing(environment.path(QStringLiteral("missing.enex")));
    XMLStreamParser parser(&missing);
    parser.setDelegate(&delegate);
    EXPECT_FALSE(parser.parse());
    EXPECT_EQ(parser.error().code(), XML_IO_EIO);
}

TEST(XMLStreamParserTest, AbortFromInsideACallbackStopsTheParse) {
    RecordingDelegate delegate;
    QBuffer buffer;
    buffer.setData("<r><note>1</note><note>2</note><note>3</note></r>");
    XMLStreamParser parser(&buffer);
    parser.setDelegate(&delegate);
    int notes = 0;
    delegate.onStart = [&](RecordingDelegate&, const QString& name) {
        if (name == QStringLiteral("note") && ++notes == 2) parser.abortParsing();
    };
    EXPECT_FALSE(parser.parse());
    EXPECT_EQ(parser.error().code(), XMLParserAbortedErrorCode);
    EXPECT_EQ(delegate.errorCount, 1);
    // Nothing after the start of the second note but the error.
    EXPECT_EQ(delegate.events.mid(delegate.events.lastIndexOf(QStringLiteral("start note"))),
              QStringList({QStringLiteral("start note"), QStringLiteral("error")}));
}

TEST(XMLStreamParserTest, AbortFromAnotherThreadStopsTheParse) {
    QByteArray xml = "<r>";
    for (int i = 0; i < 20000; ++i) xml += "<note>text</note>";
    xml += "</r>";
    RecordingDelegate delegate;
    QBuffer buffer;
    buffer.setData(xml);
    XMLStreamParser parser(&buffer);
    parser.setDelegate(&delegate);
    delegate.onStart = [&](RecordingDelegate& d, const QString& name) {
        if (d.events.size() == 2) std::thread([&] { parser.abortParsing(); }).join();
    };
    EXPECT_FALSE(parser.parse());
    EXPECT_EQ(parser.error().code(), XMLParserAbortedErrorCode);
    EXPECT_EQ(delegate.events, QStringList({QStringLiteral("start r"), QStringLiteral("start note"),
                                            QStringLiteral("error")}));
}

TEST(XMLStreamParserTest, AbortBeforeOrAfterTheDocumentEnds) {
    RecordingDelegate early;
    QBuffer input;
    input.setData("<r/>");
    XMLStreamParser cancelled(&input);
    cancelled.setDelegate(&early);
    cancelled.abortParsing();
    EXPECT_FALSE(cancelled.parse());
    EXPECT_EQ(early.events, QStringList({QStringLiteral("error")}));

    // Finishing from the end-of-document callback aborts too; the document was
    // complete, so the parse still succeeds.
    class AbortingAtEnd : public RecordingDelegate {
      public:
        XMLStreamParser* parser = nullptr;
        void didEndDocument() override {
            RecordingDelegate::didEndDocument();
            parser->abortParsing();
        }
    } late;
    QBuffer complete;
    complete.setData("<r/>");
    XMLStreamParser finished(&complete);
    late.parser = &finished;
    finished.setDelegate(&late);
    EXPECT_TRUE(finished.parse());
    EXPECT_EQ(late.errorCount, 0);
}

TEST(XMLStreamParserTest, EntityBombIsRefusedInTextAndAttributes) {
    for (const QByteArray& body :
         {QByteArray("<lolz>&lol9;</lolz>"), QByteArray("<lolz a=\"&lol9;\"/>")}) {
        RecordingDelegate delegate;
        Error error;
        EXPECT_FALSE(parseBytes(kBillionLaughs + body, delegate, &error));
        EXPECT_EQ(error.code(), XML_ERR_ENTITY_LOOP);
        EXPECT_LE(delegate.text().size(), 2 * XMLEntityBudget::kMinimumAllowance);
    }
}

TEST(XMLStreamParserTest, NeverLoadsExternalEntitiesOrDTDs) {
    TestEnvironment environment;
    const QString dtd =
        environment.writeFile(QStringLiteral("evil.dtd"), "<!ENTITY secret \"LEAKED\">");
    const QString secretFile = environment.writeFile(QStringLiteral("secret.txt"), "LEAKED");
    const QByteArray xml = "<!DOCTYPE r SYSTEM \"" + QUrl::fromLocalFile(dtd).toEncoded() +
                           "\" [<!ENTITY file SYSTEM \"" +
                           QUrl::fromLocalFile(secretFile).toEncoded() +
                           "\"><!ENTITY passwd SYSTEM \"file:///etc/passwd\">]>"
                           "<r>&file;&passwd;&secret;</r>";
    RecordingDelegate delegate;
    parseBytes(xml, delegate);
    EXPECT_FALSE(delegate.text().contains(QStringLiteral("LEAKED")));
    EXPECT_FALSE(delegate.text().contains(QStringLiteral("root:")));
}

TEST(XMLStreamParserTest, ReadsAHugeTextNodeFromAFile) {
    TestEnvironment environment;
    const qsizetype size = 30 * 1024 * 1024;
    QFile file(environment.path(QStringLiteral("huge.enex")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<note><data encoding=\"base64\">");
    const QByteArray line = QByteArray(79, 'A') + '\n';
    for (qsizetype written = 0; written < size; written += line.size()) file.write(line);
    file.write("</data></note>");
    file.close();

    class Counting : public XMLStreamParserDelegate {
      public:
        qsizetype characters = 0;
        bool ended = false;
        void foundCharacters(const QString& text) override { characters += text.size(); }
        void didEndDocument() override { ended = true; }
    } delegate;
    XMLStreamParser parser(&file);  // not open: parse() opens it
    parser.setDelegate(&delegate);
    ASSERT_TRUE(parser.parse()) << parser.error().localizedDescription().toStdString();
    EXPECT_TRUE(delegate.ended);
    EXPECT_EQ(delegate.characters, (size + line.size() - 1) / line.size() * line.size());
    EXPECT_EQ(parser.lineNumber(), size / line.size() + 1);
}

// Real exports parse, or fail (one corpus file is malformed on purpose) with
// a positioned message.
TEST(XMLStreamParserTest, ReadsTheCorpusExports) {
    const QDir corpus(QStringLiteral(FERRYMARK_SOURCE_DIR "/../shared/corpus"));
    if (!corpus.exists()) GTEST_SKIP() << "no corpus";
    QDirIterator files(corpus.path(), {QStringLiteral("*.enex")}, QDir::Files,
                       QDirIterator::Subdirectories);
    int parsed = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        XMLStreamParser parser(&file);
        RecordingDelegate delegate;
        parser.setDelegate(&delegate);
        if (parser.parse()) {
            ++parsed;
            EXPECT_EQ(delegate.events.last(), QStringLiteral("end document"));
        } else {
            EXPECT_TRUE(parser.error().localizedDescription().startsWith(QStringLiteral("Line ")));
        }
    }
    EXPECT_GT(parsed, 0);
}
