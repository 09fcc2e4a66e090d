#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "RichTextFixture.h"
#include "SystemFonts.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/richtext/RTFWriter.h"
#include "platform/xml/XMLDocument.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TextInspection.h"

namespace {

int runCount(const AttributedString& text) {
    int runs = 0;
    text.enumerateAttributes({0, text.length()},
                             [&](const TextAttributes&, const TextRange&, bool&) { ++runs; });
    return runs;
}

}  // namespace

TEST(HTMLImport, FoldsWhiteSpaceAsABrowserDoes) {
    EXPECT_EQ(importHTML("<div>  Hello \n\t <b>big</b>   world  </div><div>next</div>").string(),
              QStringLiteral("Hello big world\nnext\n"));
    // A trailing <br> in a block makes no extra line; a block holding only <br> is an empty line.
    EXPECT_EQ(importHTML("<div>a<br></br></div><div><br/></div><div>b</div>").string(),
              QStringLiteral("a\n\nb\n"));
    EXPECT_EQ(importHTML("<p>one</p>\n\n<p>two<br>three</p>").string(),
              QStringLiteral("one\ntwo\nthree\n"));
    // The attachment markers that a later pass looks for come out with single spaces.
    EXPECT_EQ(importHTML("<div>***PELMORAATTACHMENT  a b.pdf  PELMORAATTACHMENT***</div>").string(),
              QStringLiteral("***PELMORAATTACHMENT a b.pdf PELMORAATTACHMENT***\n"));
}

TEST(HTMLImport, PreformattedTextKeepsItsSpacesAndLines) {
    const AttributedString text = importHTML("<pre>\n  a  b\r\n\n c</pre><div>x   y</div>");
    EXPECT_EQ(text.string(), QStringLiteral("  a  b\n\n c\nx y\n"));
    EXPECT_TRUE(
        SystemFonts::isFixedPitch(attributesOf(text, QStringLiteral("a  b")).font->family()));
    EXPECT_EQ(importHTML("<div style=\"white-space: pre-line\">a   b\n  c</div>").string(),
              QStringLiteral("a b\nc\n"));
}

TEST(HTMLImport, EntitiesBecomeTheirCharacters) {
    EXPECT_EQ(
        importHTML("<div>&amp; &lt;tag&gt; caf&eacute; a&nbsp;&nbsp;b &#x2603;</div>").string(),
        QStringLiteral("& <tag> caf\u00E9 a\u00A0\u00A0b \u2603\n"));
}

TEST(HTMLImport, UnknownElementsKeepTheirTextAndScriptsAreDropped) {
    const AttributedString text = importHTML(
        "<html><head><title>Title</title><style>div{color:red}</style></head>"
        "<body><script>alert(1)</script><blink>kept</blink> <en-note-x>also <q>kept</q></en-note-x>"
        "</body></html>");
    EXPECT_EQ(text.string(), QStringLiteral("kept also kept"));
}

TEST(HTMLImport, DefaultFontComesFromThePreferences) {
    const AttributedString text = importHTML("<div>plain <code>code</code></div>");
    const Font font = *attributesOf(text, QStringLiteral("plain")).font;
    EXPECT_EQ(font.family(), QStringLiteral("Helvetica"));
    EXPECT_EQ(font.pointSize(), 12);
    EXPECT_TRUE(
        SystemFonts::isFixedPitch(attributesOf(text, QStringLiteral("code")).font->family()));
}

TEST(HTMLImport, CharacterStylesFromElementsAndInlineCSS) {
    const AttributedString text = importHTML(
        "<div><b>bold</b> <i>italic</i> <u>under</u> <s>struck</s> x<sup>2</sup> H<sub>2</sub>"
        " <span style=\"font-weight: 700; font-style: italic; font-size: 18px; color: #ff0000;"
        " background-color: rgb(0, 0, 255); text-decoration: underline line-through\">css</span>"
        " <span style=\"font-size: 9pt\">points</span> <span style=\"font-size: 2em\">em"
        " <span style=\"font-size: 50%\">half</span></span>"
        " <font face=\"Times New Roman\" size=\"5\" color=\"green\">font</font>"
        " <b><span style=\"font-weight: normal\">unbold</span></b></div>"
        "<h1>Heading</h1>");
    EXPECT_TRUE(attributesOf(text, QStringLiteral("bold")).font->isBold());
    EXPECT_TRUE(attributesOf(text, QStringLiteral("italic")).font->isItalic());
    EXPECT_TRUE(attributesOf(text, QStringLiteral("under")).underline);
    EXPECT_TRUE(attributesOf(text, QStringLiteral("struck")).strikethrough);
    EXPECT_EQ(attributesOf(text, QStringLiteral("2 ")).superscript, 1);
    EXPECT_EQ(text.attributesAtIndex(text.string().indexOf(QStringLiteral("H2")) + 1).superscript,
              -1);

    const TextAttributes& css = attributesOf(text, QStringLiteral("css"));
    EXPECT_TRUE(css.font->isBold());
    EXPECT_TRUE(css.font->isItalic());
    EXPECT_EQ(css.font->pointSize(), 18);
    EXPECT_EQ(css.foregroundColor, QColor(255, 0, 0));
    EXPECT_EQ(css.backgroundColor, QColor(0, 0, 255));
    EXPECT_TRUE(css.underline);
    EXPECT_TRUE(css.strikethrough);

    EXPECT_EQ(attributesOf(text, QStringLiteral("points")).font->pointSize(), 12);
    EXPECT_EQ(attributesOf(text, QStringLiteral("em")).font->pointSize(), 24);
    EXPECT_EQ(attributesOf(text, QStringLiteral("half")).font->pointSize(), 12);

    const TextAttributes& font = attributesOf(text, QStringLiteral("font"));
    EXPECT_EQ(font.font->family(), QStringLiteral("Times New Roman"));
    EXPECT_EQ(font.font->pointSize(), 18);
    EXPECT_EQ(font.foregroundColor, QColor(0, 128, 0));
    EXPECT_FALSE(attributesOf(text, QStringLiteral("unbold")).font->isBold());

    const TextAttributes& heading = attributesOf(text, QStringLiteral("Heading"));
    EXPECT_TRUE(heading.font->isBold());
    EXPECT_EQ(heading.font->pointSize(), 24);
}

TEST(HTMLImport, EqualNeighboursShareOneRun) {
    // Separate elements and text nodes with the same look make one run.
    const AttributedString text = importHTML(
        "<div><b>a</b><b>b</b> <span>c</span><span style=\"color: black\">d</span></div>");
    EXPECT_EQ(text.string(), QStringLiteral("ab cd\n"));
    EXPECT_EQ(runCount(text), 3);  // "ab", " c", "d\n"
}

TEST(HTMLImport, ParagraphStylesFromAlignmentAndIndents) {
    const AttributedString text = importHTML(
        "<div style=\"text-align: center\">centred</div>"
        "<p align=\"right\">right</p>"
        "<div style=\"padding-left: 40px\">indented<div style=\"margin-left: "
        "20px\">more</div></div>"
        "<blockquote>quoted</blockquote>");
    EXPECT_EQ(styleOf(text, QStringLiteral("centred")).alignment, TextAlignment::Center);
    EXPECT_EQ(styleOf(text, QStringLiteral("right")).alignment, TextAlignment::Right);
    EXPECT_EQ(styleOf(text, QStringLiteral("indented")).headIndent, 40);
    EXPECT_EQ(styleOf(text, QStringLiteral("indented")).firstLineHeadIndent, 40);
    EXPECT_EQ(styleOf(text, QStringLiteral("more")).headIndent, 60);
    EXPECT_EQ(styleOf(text, QStringLiteral("quoted")).headIndent, 40);
    EXPECT_EQ(styleOf(text, QStringLiteral("quoted")).tailIndent, -40);
}

TEST(HTMLImport, NestedListsCarryTextListsAndRenderedMarkers) {
    const AttributedString text = importHTML(
        "<ul><li>one<ul><li><div>inner</div></li></ul></li><li>two</li></ul>"
        "<ol start=\"3\"><li>three</li><li>four<ol type=\"a\"><li>alpha</li></ol></li></ol>"
        "<ul style=\"list-style-type: square\"><li>sq</li></ul>");
    EXPECT_EQ(text.string(),
              QStringLiteral("\t\u2022\tone\n\t\u25E6\tinner\n\t\u2022\ttwo\n"
                             "\t3.\tthree\n\t4.\tfour\n\ta.\talpha\n\t\u25AA\tsq\n"));

    const ParagraphStyle one = styleOf(text, QStringLiteral("one"));
    const ParagraphStyle inner = styleOf(text, QStringLiteral("inner"));
    ASSERT_EQ(one.textLists.size(), 1);
    ASSERT_EQ(inner.textLists.size(), 2);
    EXPECT_EQ(one.textLists[0].markerFormat(), QStringLiteral("{disc}"));
    EXPECT_EQ(inner.textLists[0], one.textLists[0]);
    EXPECT_EQ(inner.textLists[1].markerFormat(), QStringLiteral("{circle}"));
    EXPECT_EQ(one.headIndent, 36);
    EXPECT_EQ(inner.headIndent, 72);
    EXPECT_EQ(styleOf(text, QStringLiteral("two")).textLists, one.textLists);

    const ParagraphStyle three = styleOf(text, QStringLiteral("three"));
    ASSERT_EQ(three.textLists.size(), 1);
    EXPECT_EQ(three.textLists[0].markerFormat(), QStringLiteral("{decimal}."));
    EXPECT_EQ(three.textLists[0].startingItemNumber(), 3);
    EXPECT_NE(three.textLists[0], one.textLists[0]);
    EXPECT_EQ(styleOf(text, QStringLiteral("alpha")).textLists.last().markerFormat(),
              QStringLiteral("{lower-alpha}."));

    // The RTF writer turns them into real lists.
    const QByteArray rtf = RTFWriter::RTFFromAttributedString(text);
    EXPECT_TRUE(rtf.contains("\\ls1\\ilvl1")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("{\\listtext\t3.\t}")) << rtf.toStdString();
}

// Elements and style properties of one application's notes mean nothing to
// a web page: their text stays, as plain text, and nothing becomes a check box.
TEST(HTMLImport, ApplicationPropertiesAreUnknownWithoutAnExtension) {
    const QByteArray html =
        "<ul style=\"--en-todo:true;\"><li style=\"--en-checked:true;\">Buy</li></ul>"
        "<div><en-todo checked=\"true\"></en-todo>Call <input type=\"checkbox\" checked/>x</div>"
        "<div style=\"--en-codeblock:true;\">int x;</div>"
        "<div><span style=\"-en-highlight:yellow; --en-code:true\">marked</span></div>"
        "<div>\u2610 </div>a<en-note>b</en-note>c";
    const AttributedString text = importHTML(html);
    EXPECT_EQ(text.string(), QStringLiteral("\t\u2022\tBuy\nCall x\nint x;\nmarked\n\u2610\nabc"));
    EXPECT_EQ(styleOf(text, QStringLiteral("Buy")).textLists.size(), 1);
    for (const QString& word : {QStringLiteral("int x;"), QStringLiteral("marked")}) {
        EXPECT_EQ(attributesOf(text, word).font->family(), QStringLiteral("Helvetica"));
        EXPECT_FALSE(attributesOf(text, word).backgroundColor);
    }

    const std::unique_ptr<XMLDocument> document = XMLDocument::parseHTML(html);
    ASSERT_TRUE(document);
    QList<qsizetype> checkBoxes = {-1};
    HTMLImporter::attributedStringFromElement(document->rootElement(), QUrl(), notePreferences(),
                                              nullptr, nullptr, &checkBoxes);
    EXPECT_TRUE(checkBoxes.isEmpty());
}

namespace {

// A made-up application: "x-card" is a block, "x-box" a check box (ticked
// with "on"), lists with --x-tasks hold boxes, --x-done ticks an item, --x-code
// asks for the fixed font and --x-mark for a background.
class ToyExtension : public HTMLImporterExtension {
  public:
    HTMLCheckBoxMarkers checkBoxMarkers() const override {
        return {QStringLiteral("[x] "), QStringLiteral("[ ] ")};
    }
    bool isBlockElement(const QString& name) const override {
        return name == QLatin1String("x-card");
    }
    std::optional<bool> checkBoxStateForElement(const XMLNode& element,
                                                const QString& name) const override {
        if (name != QLatin1String("x-box")) return std::nullopt;
        return element.hasAttribute(QStringLiteral("on"));
    }
    HTMLStyleAdditions styleAdditions(const CSSStyle& style) const override {
        HTMLStyleAdditions additions;
        additions.fixedPitch = style.contains(QStringLiteral("--x-code"));
        if (style.contains(QStringLiteral("--x-mark"))) additions.background = QColor(1, 2, 3);
        return additions;
    }
    bool isChecklist(const CSSStyle& listStyle) const override {
        return listStyle.contains(QStringLiteral("--x-tasks"));
    }
    std::optional<bool> listItemCheckState(const CSSStyle& itemStyle) const override {
        if (!itemStyle.contains(QStringLiteral("--x-done"))) return std::nullopt;
        return true;
    }
};

}  // namespace

TEST(HTMLImport, AnExtensionAddsBlocksCheckBoxesAndStyles) {
    const std::unique_ptr<XMLDocument> document = XMLDocument::parseHTML(
        "<x-card>one</x-card><x-card style=\"display:inline\">two</x-card>"
        "<ul style=\"--x-tasks:1\"><li>open</li><li style=\"--x-done:1\">done</li></ul>"
        "<div><x-box on>boxed</x-box> <input type=\"checkbox\"></div>"
        // Typed markers keep their blank too, though they are no boxes.
        "<div>[ ] </div><div>[ ]] </div>"
        "<div><span style=\"--x-code:1; --x-mark:1\">code</span>"
        " <span style=\"--x-mark:1; background: red\">red</span></div>");
    ASSERT_TRUE(document);
    const ToyExtension extension;
    QList<qsizetype> checkBoxes;
    const AttributedString text = HTMLImporter::attributedStringFromElement(
        document->rootElement(), QUrl(), notePreferences(), nullptr, &extension, &checkBoxes);
    EXPECT_EQ(text.string(), QStringLiteral("one\ntwo\n[ ] open\n[x] done\n[x] boxed [ ] \n"
                                            "[ ] \n[ ]]\ncode red\n"));
    const QList<qsizetype> expected = {8, 17, 26, 36};
    EXPECT_EQ(checkBoxes, expected);
    EXPECT_EQ(attributesOf(text, QStringLiteral("code")).font->family(),
              importHTML("<code>x</code>").attributesAtIndex(0).font->family());
    EXPECT_EQ(attributesOf(text, QStringLiteral("code")).backgroundColor, QColor(1, 2, 3));
    // The element's own background wins.
    EXPECT_EQ(attributesOf(text, QStringLiteral("red")).backgroundColor, QColor(255, 0, 0));
}

TEST(HTMLImport, LinksResolveAgainstTheDocument) {
    const AttributedString text = importHTML(
        "<div><a href=\"sub/page.html#part\">relative</a> <a href=\"https://example.org/x\">abs</a>"
        " <a href=\"javascript:alert(1)\">script</a> <a name=\"anchor\">anchor</a></div>",
        QUrl(QStringLiteral("https://notes.example.com/dir/index.html")));
    EXPECT_EQ(attributesOf(text, QStringLiteral("relative")).link,
              QUrl(QStringLiteral("https://notes.example.com/dir/sub/page.html#part")));
    EXPECT_EQ(attributesOf(text, QStringLiteral("abs")).link,
              QUrl(QStringLiteral("https://example.org/x")));
    EXPECT_FALSE(attributesOf(text, QStringLiteral("script")).link);
    EXPECT_FALSE(attributesOf(text, QStringLiteral("anchor")).link);
    EXPECT_FALSE(text.attributesAtIndex(text.length() - 1).link);
}

TEST(HTMLImport, DeeplyNestedDocumentsDoNotExhaustTheStack) {
    QByteArray html;
    for (int i = 0; i < 20000; ++i) html += "<span><div>";
    html += "deep";
    const AttributedString text = importHTML(html);
    EXPECT_TRUE(text.string().contains(QStringLiteral("deep")));
}

TEST(HTMLImport, FilesAndErrors) {
    TestEnvironment environment;
    const QString path = environment.writeFile(
        QStringLiteral("note/Note.html"),
        "<html><head><meta charset=\"utf-8\"></head><body><div>Gr\xC3\xBC\xC3\x9F"
        "e</div></body></html>");
    Error error;
    const std::optional<AttributedString> text =
        HTMLImporter::attributedStringFromHTMLFile(path, notePreferences(), &error);
    ASSERT_TRUE(text) << error.description().toStdString();
    EXPECT_EQ(text->string(), QStringLiteral("Gr\u00FC\u00DFe\n"));

    const QString empty = environment.writeFile(QStringLiteral("note/Empty.html"), "");
    const std::optional<AttributedString> nothing =
        HTMLImporter::attributedStringFromHTMLFile(empty, notePreferences(), &error);
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->length(), 0);

    EXPECT_FALSE(HTMLImporter::attributedStringFromHTMLFile(
        environment.path(QStringLiteral("note/Missing.html")), notePreferences(), &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code(), 260);
    EXPECT_FALSE(HTMLImporter::attributedStringFromHTMLFile(
        environment.path(QStringLiteral("note")), notePreferences(), &error));
    EXPECT_EQ(error.code(), 256);
}
