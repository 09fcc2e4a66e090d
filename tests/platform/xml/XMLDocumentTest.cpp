#include <gtest/gtest.h>
#include <libxml/xmlerror.h>

#include <QUrl>

#include "platform/xml/XMLDocument.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QByteArray kENMLHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\">\n";

std::unique_ptr<XMLDocument> parseOrFail(const QByteArray& data) {
    Error error;
    auto document = XMLDocument::parse(data, &error);
    EXPECT_TRUE(document) << error.localizedDescription().toStdString();
    return document;
}

XMLNode firstNode(const XMLDocument& document, const QString& path) {
    return document.nodesForXPath(path).value(0);
}

}  // namespace

TEST(XMLDocumentTest, HTMLEntitiesInENMLBecomeCharacters) {
    for (const QByteArray& header : {kENMLHeader, QByteArray()}) {
        auto document = parseOrFail(header +
                                    "<en-note><div title=\"x&nbsp;y\">a&nbsp;b &eacute;</div>"
                                    "<![CDATA[&nbsp;]]><!-- &eacute; --></en-note>");
        ASSERT_TRUE(document);
        EXPECT_FALSE(document->isHTML());
        const XMLNode div = firstNode(*document, QStringLiteral("//div"));
        EXPECT_EQ(div.textContent(), QStringLiteral("a\u00A0b é"));
        EXPECT_EQ(div.childCount(), 1);  // one text node, no entity references
        EXPECT_EQ(div.attribute(QStringLiteral("title")), QStringLiteral("x\u00A0y"));
        // Literal text keeps what it says.
        EXPECT_EQ(div.nextSibling().textContent(), QStringLiteral("&nbsp;"));
        EXPECT_EQ(div.nextSibling().nextSibling().textContent(), QStringLiteral(" &eacute; "));
    }
}

// HTML entities resolve wherever XML allows a reference: in a standalone
// document, in attribute values, inside the document's own entities; a name
// the document declares itself keeps its own meaning, and the document shows
// no declarations it did not have.
TEST(XMLDocumentTest, HTMLEntitiesResolveWhereverReferencesStand) {
    auto standalone = parseOrFail(
        "<?xml version=\"1.0\" standalone=\"yes\"?><r "
        "a=\"&eacute;&nbsp;\">&nbsp;&nbsp;x&copy;</r>");
    ASSERT_TRUE(standalone);
    EXPECT_FALSE(standalone->isHTML());
    EXPECT_EQ(standalone->rootElement().textContent(), QStringLiteral("\u00A0\u00A0x\u00A9"));
    EXPECT_EQ(standalone->rootElement().attribute(QStringLiteral("a")), QStringLiteral("é\u00A0"));
    EXPECT_EQ(XMLDocument::serialize(standalone->documentNode()).count(u'!'), 0);

    auto declared = parseOrFail(
        "<!DOCTYPE r [<!ENTITY nbsp \"[space]\"><!ENTITY sig \"&eacute;&amp;\">]>"
        "<r>&nbsp;&sig;&hellip;</r>");
    ASSERT_TRUE(declared);
    EXPECT_FALSE(declared->isHTML());
    EXPECT_EQ(declared->rootElement().textContent(), QStringLiteral("[space]é&\u2026"));
    EXPECT_EQ(declared->rootElement().childCount(), 1);
}

// Character entities are not entity expansion: a note of many &nbsp; (tables
// of empty cells) is read whole, not refused as an entity bomb.
TEST(XMLDocumentTest, ManyHTMLEntitiesAreNoEntityBomb) {
    QByteArray body;
    for (int i = 0; i < 200000; ++i) body += "&nbsp;";
    auto document = parseOrFail(kENMLHeader + "<en-note><div>" + body + "</div></en-note>");
    ASSERT_TRUE(document);
    EXPECT_FALSE(document->isHTML());
    EXPECT_EQ(firstNode(*document, QStringLiteral("//div")).textContent(),
              QString(200000, QChar(0x00A0)));
}

TEST(XMLDocumentTest, OtherEntitiesAreExpandedOrKeptAsText) {
    auto document = parseOrFail(
        "<!DOCTYPE r SYSTEM \"http://example.invalid/r.dtd\" [<!ENTITY sig \"<b>Bob</b> &amp; "
        "Co\">]>"
        "<r>by &sig;, &unknown;</r>");
    ASSERT_TRUE(document);
    const XMLNode root = document->rootElement();
    EXPECT_EQ(XMLDocument::serialize(root),
              QStringLiteral("<r>by <b>Bob</b> &amp; Co, &amp;unknown;</r>"));
    for (const XMLNode& child : root.children())
        EXPECT_NE(child.type(), XMLNode::Type::EntityReference);
}

TEST(XMLDocumentTest, EntityBombIsRefused) {
    QByteArray bomb = "<!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        bomb += "<!ENTITY l" + QByteArray::number(i) + " \"";
        for (int k = 0; k < 10; ++k) bomb += "&l" + QByteArray::number(i - 1) + ";";
        bomb += "\">";
    }
    bomb += "]>";
    for (const QByteArray& body : {QByteArray("<l>&l9;</l>"), QByteArray("<l a=\"&l9;\"/>")}) {
        Error error;
        EXPECT_FALSE(XMLDocument::parse(bomb + body, &error));
        EXPECT_EQ(error.code(), XML_ERR_ENTITY_LOOP);
    }
}

TEST(XMLDocumentTest, NeverLoadsTheDTDOrExternalEntities) {
    TestEnvironment environment;
    const QString dtd =
        environment.writeFile(QStringLiteral("enml2.dtd"), "<!ENTITY secret \"LEAKED\">");
    const QByteArray xml = "<!DOCTYPE en-note SYSTEM \"" + QUrl::fromLocalFile(dtd).toEncoded() +
                           "\" [<!ENTITY passwd SYSTEM \"file:///etc/passwd\">]>"
                           "<en-note>&secret;&passwd;</en-note>";
    auto document = XMLDocument::parse(xml);
    ASSERT_TRUE(document);
    const QString text = document->documentNode().textContent();
    EXPECT_FALSE(text.contains(QStringLiteral("LEAKED")));
    EXPECT_FALSE(text.contains(QStringLiteral("root:")));
}

TEST(XMLDocumentTest, BrokenMarkupFallsBackToTidiedHTML) {
    auto document = parseOrFail(
        kENMLHeader + "<en-note><div>caf\xC3\xA9 &amp; <br><en-media hash=\"ab\"></en-note>");
    ASSERT_TRUE(document);
    EXPECT_TRUE(document->isHTML());
    EXPECT_EQ(firstNode(*document, QStringLiteral("//div")).textContent(),
              QStringLiteral("café & "));
    EXPECT_EQ(firstNode(*document, QStringLiteral("//en-media")).attribute(QStringLiteral("hash")),
              QStringLiteral("ab"));
    // The strict parser reports what the tolerant one recovered from.
    Error error;
    EXPECT_FALSE(XMLDocument::parseXML("<a>\n<b></a>", &error));
    EXPECT_EQ(error.code(), XML_ERR_TAG_NAME_MISMATCH);
    EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("Line 2, column ")));
    EXPECT_FALSE(XMLDocument::parse(QByteArray(), &error));
    EXPECT_EQ(error.code(), XML_ERR_DOCUMENT_EMPTY);
}

TEST(XMLDocumentTest, HTMLEncodingFollowsTheText) {
    auto utf8 = XMLDocument::parseHTML("\xEF\xBB\xBF<p>caf\xC3\xA9</p>");
    ASSERT_TRUE(utf8);
    EXPECT_EQ(firstNode(*utf8, QStringLiteral("//p")).textContent(), QStringLiteral("café"));
    auto latin1 = XMLDocument::parseHTML(
        "<html><head><meta charset=\"iso-8859-1\"></head><body><p>caf\xE9</p></body></html>");
    ASSERT_TRUE(latin1);
    EXPECT_EQ(firstNode(*latin1, QStringLiteral("//p")).textContent(), QStringLiteral("café"));
}

// Without a declared charset, bytes that are not UTF-8 are windows-1252, as
// browsers read them: 0x80-0x9F are quotes, dashes and the euro sign.
TEST(XMLDocumentTest, UndeclaredHTMLEncodingIsWindows1252) {
    auto undeclared = XMLDocument::parseHTML(
        "<p>\x93"
        "caf\xE9\x94 \x96 5 \x80</p>");
    ASSERT_TRUE(undeclared);
    EXPECT_EQ(firstNode(*undeclared, QStringLiteral("//p")).textContent(),
              QString::fromUtf8("\u201Ccaf\u00E9\u201D \u2013 5 \u20AC"));
    // A declared charset still wins.
    auto declared = XMLDocument::parseHTML(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-7\">"
        "</head><body><p>\xE1</p></body></html>");
    ASSERT_TRUE(declared);
    EXPECT_EQ(firstNode(*declared, QStringLiteral("//p")).textContent(),
              QString::fromUtf8("\u03B1"));
    // The tolerant fallback of parse() reads such HTML the same way.
    auto tidied = XMLDocument::parse("<p>\x93x\x94<br></p>");
    ASSERT_TRUE(tidied);
    EXPECT_EQ(firstNode(*tidied, QStringLiteral("//p")).textContent(),
              QString::fromUtf8("\u201Cx\u201D"));
}

TEST(XMLDocumentTest, XPathSelectsInDocumentOrderFromAContext) {
    auto document = parseOrFail(kENMLHeader +
                                "<en-note><div><en-media hash=\"1\"/></div><en-media hash=\"2\"/>"
                                "<p><en-media hash=\"3\"/></p></en-note>");
    ASSERT_TRUE(document);
    const QList<XMLNode> notes = document->nodesForXPath(QStringLiteral("en-note"));
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0], document->rootElement());
    QStringList hashes;
    for (const XMLNode& media :
         document->nodesForXPath(QStringLiteral("//en-media | //div/en-media")))
        hashes << media.attribute(QStringLiteral("hash"));
    EXPECT_EQ(hashes, QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    const XMLNode p = firstNode(*document, QStringLiteral("//p"));
    EXPECT_EQ(document->nodesForXPath(QStringLiteral("en-media"), p).size(), 1);

    Error error;
    EXPECT_TRUE(document->nodesForXPath(QStringLiteral("//["), {}, &error).isEmpty());
    EXPECT_EQ(error.domain(), QStringLiteral("XMLParserErrorDomain"));
    error = Error();
    EXPECT_TRUE(document->nodesForXPath(QStringLiteral("count(//p)"), {}, &error).isEmpty());
    EXPECT_EQ(error.code(), XML_XPATH_INVALID_TYPE);
}

TEST(XMLDocumentTest, SerializerWritesEmptyElementsAsStartAndEndTags) {
    auto document = parseOrFail(kENMLHeader +
                                "<en-note><div a=\"&quot;1&amp;\">x &lt; y &amp; \xC3\xA9<br/>"
                                "<en-todo checked=\"true\"/></div></en-note>");
    ASSERT_TRUE(document);
    const XMLNode note = document->rootElement();
    EXPECT_EQ(XMLDocument::serialize(note),
              QStringLiteral("<en-note><div a=\"&quot;1&amp;\">x &lt; y &amp; é<br></br>"
                             "<en-todo checked=\"true\"></en-todo></div></en-note>"));
    EXPECT_EQ(document->serializeChildren(note.firstChild()),
              QStringLiteral("x &lt; y &amp; é<br></br><en-todo checked=\"true\"></en-todo>"));
    // Nodes of an HTML document are written as XML too.
    auto html = XMLDocument::parseHTML("<p>a<br>b<img src=x></p>");
    ASSERT_TRUE(html);
    EXPECT_EQ(XMLDocument::serialize(firstNode(*html, QStringLiteral("//p"))),
              QStringLiteral("<p>a<br></br>b<img src=\"x\"></img></p>"));
}

TEST(XMLDocumentTest, EditedTreesKeepHandlesValid) {
    auto document = parseOrFail("<div><en-media hash=\"h\"/></div>");
    ASSERT_TRUE(document);
    // Wrap the root in a new element, as the note conversion does when there
    // is no en-note.
    const XMLNode oldRoot = document->rootElement();
    XMLNode note = document->createElement(QStringLiteral("en-note"));
    oldRoot.unlink();
    EXPECT_EQ(note.addChild(oldRoot), oldRoot);
    EXPECT_FALSE(document->rootElement());
    EXPECT_EQ(XMLDocument::serialize(note),
              QStringLiteral("<en-note><div><en-media hash=\"h\"></en-media></div></en-note>"));

    // A media tag becomes an img with its attributes in order.
    XMLNode media = oldRoot.firstChild();
    XMLNode image = XMLNode::newElement(document.get(), QStringLiteral("img"));
    image.setAttribute(QStringLiteral("width"), QStringLiteral("300"));
    image.setAttribute(QStringLiteral("src"), QStringLiteral("a&b.png"));
    image.setAttribute(QStringLiteral("width"), QStringLiteral("310"));
    media.replaceWith(image);
    EXPECT_EQ(XMLDocument::serialize(oldRoot),
              QStringLiteral("<div><img width=\"310\" src=\"a&amp;b.png\"></img></div>"));
    EXPECT_EQ(media.attribute(QStringLiteral("hash")),
              QStringLiteral("h"));  // unlinked, still valid

    // Text nodes are not merged away under the caller's handles.
    XMLNode first = oldRoot.insertBefore(document->createTextNode(QStringLiteral("a<")), image);
    XMLNode second = oldRoot.insertBefore(document->createTextNode(QStringLiteral("b")), image);
    EXPECT_EQ(first.nextSibling(), second);
    EXPECT_EQ(oldRoot.textContent(), QStringLiteral("a<b"));
    second.remove();
    image.removeAttribute(QStringLiteral("width"));
    EXPECT_EQ(XMLDocument::serialize(oldRoot),
              QStringLiteral("<div>a&lt;<img src=\"a&amp;b.png\"></img></div>"));

    // A node cannot become its own descendant; a node of another document is copied.
    EXPECT_FALSE(oldRoot.firstChild().addChild(note));
    auto other = parseOrFail("<x>from elsewhere</x>");
    const XMLNode copied = note.addChild(other->rootElement());
    EXPECT_NE(copied, other->rootElement());
    other.reset();
    document->setRootElement(note);
    EXPECT_EQ(XMLDocument::serialize(document->rootElement().lastChild()),
              QStringLiteral("<x>from elsewhere</x>"));
}
